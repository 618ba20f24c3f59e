#include "dht/receive_datagrams.h"

#include <vector>

#include "dht/DHTConnection.h"
#include "dht/DHTMessage.h"
#include "dht/DHTMessageReceiver.h"

namespace quarn {
namespace dht {

size_t receiveDatagrams(DHTConnection& connection, DHTMessageReceiver& receiver,
                        const OtherDatagramHandler& other) {
  std::vector<unsigned char> buf(65536);
  size_t count = 0;
  while (count < MAX_DATAGRAMS_PER_TURN) {
    std::string host;
    uint16_t port = 0;
    ssize_t length = connection.receiveMessage(buf.data(), buf.size(), host, port);
    if (length < 1) {
      break;
    }
    ++count;
    if (buf[0] == 'd') {
      receiver.receiveMessage(host, port, buf.data(), static_cast<size_t>(length));
    } else if (other) {
      other(buf.data(), static_cast<size_t>(length), host, port);
    }
  }
  return count;
}

}  // namespace dht
}  // namespace quarn

// Feeds arbitrary bytes to a peer connection's framing, once whole and once
// one byte at a time: both must yield the same messages and the same error,
// and every message must decode or fail cleanly.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/BtMessage.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "foundation/RecoverableException.h"
#include "net/SocketCore.h"

namespace {

// The socket pair holds the whole input: larger inputs add nothing.
constexpr size_t MAX_STREAM_INPUT = 65536;

std::vector<std::string> frame(const uint8_t* data, size_t size, size_t step) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
    abort();
  }
  auto socket = std::make_shared<quarn::SocketCore>(fds[0], SOCK_STREAM);
  socket->setNonBlockingMode();
  auto peer = std::make_shared<quarn::Peer>("127.0.0.1", 6881);
  peer->allocateSessionResource(16384, 16384 * 8);
  quarn::PeerConnection connection(1, peer, socket);
  quarn::DefaultBtMessageFactory factory;
  factory.setPeer(peer);
  factory.enableMetadataGetMode();
  std::vector<std::string> out;
  try {
    for (size_t i = 0; i < size; i += step) {
      const size_t n = std::min(step, size - i);
      if (write(fds[1], data + i, n) != static_cast<ssize_t>(n)) {
        abort();
      }
      size_t length = 0;
      while (connection.receiveMessage(nullptr, length)) {
        const auto* payload = connection.getMsgPayloadBuffer();
        out.emplace_back(reinterpret_cast<const char*>(payload), length);
        try {
          factory.createBtMessage(payload, length)->validate();
        } catch (const quarn::RecoverableException&) {
        }
      }
    }
  } catch (const quarn::RecoverableException& e) {
    out.push_back(std::string("error ") + e.what());
  }
  close(fds[1]);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size = std::min(size, MAX_STREAM_INPUT);
  if (frame(data, size, size == 0 ? 1 : size) != frame(data, size, 1)) {
    abort();
  }
  return 0;
}

#include "bittorrent/SimpleBtMessage.h"

#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/ProgressUpdate.h"

namespace quarn {

void SimpleBtMessage::send() {
  if (isInvalidate() || !sendPredicate()) {
    return;
  }
  QLOG_INFO(fmt("CUID#%lld - To: %s:%d %s", static_cast<long long>(getCuid()),
                getPeer()->getIPAddress().c_str(), getPeer()->getPort(), toString().c_str()));
  auto bytes = createMessage();
  QLOG_DEBUG(fmt("msglength = %lu bytes", static_cast<unsigned long>(bytes.size())));
  getPeerConnection()->pushBytes(std::move(bytes), getProgressUpdate());
}

}  // namespace quarn

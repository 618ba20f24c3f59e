#include "dht/UDPTrackerSharer.h"

#include <vector>

#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "dht/DHTConnection.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/wallclock.h"

namespace quarn {

UDPTrackerSharer::UDPTrackerSharer(DownloadEngine* e, std::shared_ptr<UDPTrackerClient> client)
    : e_(e), client_(std::move(client)) {}

bool UDPTrackerSharer::hasWatchers() const {
  return client_->getNumWatchers() != 0;
}

void UDPTrackerSharer::failAll() {
  client_->failAll();
}

void UDPTrackerSharer::onDatagram(const unsigned char* data, size_t length, const std::string& host,
                                  uint16_t port) {
  std::shared_ptr<UDPTrackerRequest> req;
  if (client_->receiveReply(req, data, length, host, port, global::wallclock()) != 0) {
    return;
  }
  if (req->action == UDPT_ACT_ANNOUNCE && req->userData) {
    // The announce side stores its command as a Command*.
    static_cast<Command*>(req->userData)->setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
  }
}

void UDPTrackerSharer::handleTimeout() {
  client_->handleTimeout(global::wallclock());
}

void UDPTrackerSharer::sendRequests(DHTConnection& connection) {
  // Runs on every turn of the loop; most turns have nothing to send.
  if (client_->getPendingRequests().empty()) {
    return;
  }
  std::vector<unsigned char> buf(65536);
  while (!client_->getPendingRequests().empty()) {
    std::string host;
    uint16_t port = 0;
    const Timer& now = global::wallclock();
    ssize_t length = client_->createRequest(buf.data(), buf.size(), host, port, now);
    if (length == -1) {
      break;
    }
    try {
      connection.sendMessage(buf.data(), static_cast<size_t>(length), host, port);
      client_->requestSent(now);
    } catch (const RecoverableException& e) {
      QLOG_INFO_EX("Exception thrown while sending UDP tracker request.", e);
      client_->requestFail(UDPT_ERR_NETWORK);
    }
  }
}

}  // namespace quarn

#include "dht/DHTAnnouncePeerMessage.h"

#include <cstring>

#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTTokenTracker.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Integer.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

DHTAnnouncePeerMessage::DHTAnnouncePeerMessage(std::shared_ptr<DHTNode> localNode,
                                               std::shared_ptr<DHTNode> remoteNode,
                                               const unsigned char* infoHash, uint16_t tcpPort,
                                               std::string token, std::string transactionID)
    : DHTQueryMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)),
      tcpPort_(tcpPort),
      token_(std::move(token)) {
  memcpy(infoHash_, infoHash, DHT_ID_LENGTH);
}

void DHTAnnouncePeerMessage::doReceivedAction() {
  storage_->addPeerAnnounce(infoHash_, getRemoteNode()->getIPAddress(), tcpPort_);
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createAnnouncePeerReplyMessage(getRemoteNode(), getTransactionID()),
      nullptr);
}

void DHTAnnouncePeerMessage::validate() const {
  const auto& remote = getRemoteNode();
  if (!tokenTracker_->validateToken(token_, infoHash_, remote->getIPAddress(), remote->getPort())) {
    throw DL_ABORT_EX(fmt("Invalid token=%s from %s:%u", util::toHex(token_).c_str(),
                          remote->getIPAddress().c_str(), remote->getPort()));
  }
}

std::unique_ptr<Dict> DHTAnnouncePeerMessage::getArgument() const {
  auto a = Dict::g();
  a->put("id", dhtIdString(getLocalNode()->getID()));
  a->put("info_hash", dhtIdString(infoHash_));
  a->put("port", Integer::g(tcpPort_));
  a->put("token", token_);
  return a;
}

std::string DHTAnnouncePeerMessage::toStringOptional() const {
  return fmt("token=%s, info_hash=%s, tcpPort=%u", util::toHex(token_).c_str(),
             util::toHex(infoHash_, DHT_ID_LENGTH).c_str(), tcpPort_);
}

}  // namespace quarn

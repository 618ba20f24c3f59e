#include "dht/DHTGetPeersMessage.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/Peer.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/util_string.h"
#include "net/net_address.h"
#include "storage/DownloadContext.h"

namespace quarn {

DHTGetPeersMessage::DHTGetPeersMessage(std::shared_ptr<DHTNode> localNode,
                                       std::shared_ptr<DHTNode> remoteNode,
                                       const unsigned char* infoHash, std::string transactionID)
    : DHTQueryMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)),
      family_(AF_INET) {
  memcpy(infoHash_, infoHash, DHT_ID_LENGTH);
}

void DHTGetPeersMessage::doReceivedAction() {
  const auto& remote = getRemoteNode();
  std::string token =
      tokenTracker_->generateToken(infoHash_, remote->getIPAddress(), remote->getPort());
  std::vector<std::shared_ptr<Peer>> peers;
  storage_->getPeers(peers, infoHash_);
  addLocalPeer(peers);
  std::vector<std::shared_ptr<DHTNode>> nodes;
  getRoutingTable()->getClosestKNodes(nodes, infoHash_);
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createGetPeersReplyMessage(remote, std::move(nodes), std::move(peers),
                                                      token, getTransactionID()),
      nullptr);
}

void DHTGetPeersMessage::addLocalPeer(std::vector<std::shared_ptr<Peer>>& peers) const {
  if (!btRegistry_) {
    return;
  }
  const auto& dctx = btRegistry_->getDownloadContext(dhtIdString(infoHash_));
  if (!dctx || !dctx->getOwnerRequestGroup()) {
    return;
  }
  const std::string& externalIP =
      dctx->getOwnerRequestGroup()->getOption()->get(PREF_BT_EXTERNAL_IP);
  unsigned char buf[16];
  if (externalIP.empty() || inetPton(family_, externalIP.c_str(), buf) != 0) {
    return;
  }
  const uint16_t port = btRegistry_->getTcpPort();
  if (std::any_of(peers.begin(), peers.end(), [&](const auto& p) {
        return p->getIPAddress() == externalIP && p->getPort() == port;
      })) {
    return;
  }
  peers.push_back(std::make_shared<Peer>(externalIP, port));
}

std::unique_ptr<Dict> DHTGetPeersMessage::getArgument() const {
  auto a = Dict::g();
  a->put("id", dhtIdString(getLocalNode()->getID()));
  a->put("info_hash", dhtIdString(infoHash_));
  return a;
}

std::string DHTGetPeersMessage::toStringOptional() const {
  return "info_hash=" + util::toHex(infoHash_, DHT_ID_LENGTH);
}

}  // namespace quarn

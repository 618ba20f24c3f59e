#include "dht/DHTGetPeersReplyMessage.h"

#include "bittorrent/Peer.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTNode.h"
#include "dht/compact_node.h"
#include "foundation/Dict.h"
#include "foundation/List.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

DHTGetPeersReplyMessage::DHTGetPeersReplyMessage(int family, std::shared_ptr<DHTNode> localNode,
                                                 std::shared_ptr<DHTNode> remoteNode,
                                                 std::string token, std::string transactionID)
    : DHTResponseMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)),
      family_(family),
      token_(std::move(token)) {}

std::unique_ptr<Dict> DHTGetPeersReplyMessage::getResponse() const {
  auto r = Dict::g();
  r->put("id", dhtIdString(getLocalNode()->getID()));
  r->put("token", token_);
  if (!closestKNodes_.empty()) {
    r->put(dht::nodesKey(family_), dht::packNodes(closestKNodes_, family_));
  }
  if (!values_.empty()) {
    auto values = List::g();
    for (auto& v : dht::packPeers(values_, family_)) {
      values->append(std::move(v));
    }
    r->put("values", std::move(values));
  }
  return r;
}

void DHTGetPeersReplyMessage::accept(DHTMessageCallback* callback) {
  callback->visit(this);
}

std::string DHTGetPeersReplyMessage::toStringOptional() const {
  return fmt("token=%s, values=%lu, nodes=%lu", util::toHex(token_).c_str(),
             static_cast<unsigned long>(values_.size()),
             static_cast<unsigned long>(closestKNodes_.size()));
}

}  // namespace quarn

#include "dht/DHTFindNodeReplyMessage.h"

#include "dht/DHTMessageCallback.h"
#include "dht/DHTNode.h"
#include "dht/DHTRoutingTable.h"
#include "dht/compact_node.h"
#include "foundation/Dict.h"
#include "foundation/fmt.h"

namespace quarn {

DHTFindNodeReplyMessage::DHTFindNodeReplyMessage(int family, std::shared_ptr<DHTNode> localNode,
                                                 std::shared_ptr<DHTNode> remoteNode,
                                                 std::string transactionID)
    : DHTResponseMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)),
      family_(family) {}

void DHTFindNodeReplyMessage::doReceivedAction() {
  for (const auto& node : closestKNodes_) {
    if (*node != *getLocalNode()) {
      getRoutingTable()->addNode(node);
    }
  }
}

std::unique_ptr<Dict> DHTFindNodeReplyMessage::getResponse() const {
  auto r = Dict::g();
  r->put("id", dhtIdString(getLocalNode()->getID()));
  r->put(dht::nodesKey(family_), dht::packNodes(closestKNodes_, family_));
  return r;
}

void DHTFindNodeReplyMessage::accept(DHTMessageCallback* callback) {
  callback->visit(this);
}

std::string DHTFindNodeReplyMessage::toStringOptional() const {
  return fmt("nodes=%lu", static_cast<unsigned long>(closestKNodes_.size()));
}

}  // namespace quarn

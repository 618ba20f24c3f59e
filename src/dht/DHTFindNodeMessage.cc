#include "dht/DHTFindNodeMessage.h"

#include <cstring>

#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTNode.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "foundation/Dict.h"
#include "foundation/util_string.h"

namespace quarn {

DHTFindNodeMessage::DHTFindNodeMessage(std::shared_ptr<DHTNode> localNode,
                                       std::shared_ptr<DHTNode> remoteNode,
                                       const unsigned char* targetNodeID, std::string transactionID)
    : DHTQueryMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)) {
  memcpy(targetNodeID_, targetNodeID, DHT_ID_LENGTH);
}

void DHTFindNodeMessage::doReceivedAction() {
  std::vector<std::shared_ptr<DHTNode>> nodes;
  getRoutingTable()->getClosestKNodes(nodes, targetNodeID_);
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createFindNodeReplyMessage(getRemoteNode(), std::move(nodes),
                                                      getTransactionID()),
      nullptr);
}

std::unique_ptr<Dict> DHTFindNodeMessage::getArgument() const {
  auto a = Dict::g();
  a->put("id", dhtIdString(getLocalNode()->getID()));
  a->put("target", dhtIdString(targetNodeID_));
  return a;
}

std::string DHTFindNodeMessage::toStringOptional() const {
  return "targetNodeID=" + util::toHex(targetNodeID_, DHT_ID_LENGTH);
}

}  // namespace quarn

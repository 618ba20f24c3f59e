#include "dht/DHTNodeLookupTask.h"

#include "dht/DHTMessageFactory.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTTaskCallback.h"

namespace quarn {

void DHTNodeLookupTask::getNodesFromMessage(std::vector<std::shared_ptr<DHTNode>>& nodes,
                                            const DHTFindNodeReplyMessage* message) {
  const auto& reported = message->getClosestKNodes();
  nodes.insert(nodes.end(), reported.begin(), reported.end());
}

std::unique_ptr<DHTMessage> DHTNodeLookupTask::createMessage(const std::shared_ptr<DHTNode>& node) {
  return getMessageFactory()->createFindNodeMessage(node, getTargetID(), "");
}

std::unique_ptr<DHTMessageCallback> DHTNodeLookupTask::createCallback() {
  return std::make_unique<DHTTaskCallback<DHTNodeLookupTask, DHTFindNodeReplyMessage>>(this);
}

}  // namespace quarn

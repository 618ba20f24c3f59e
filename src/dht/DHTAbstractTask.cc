#include "dht/DHTAbstractTask.h"

namespace quarn {

void DHTAbstractTask::shareWith(DHTAbstractTask& other) const {
  other.setRoutingTable(routingTable_);
  other.setMessageDispatcher(dispatcher_);
  other.setMessageFactory(factory_);
  other.setTaskQueue(taskQueue_);
  other.setLocalNode(localNode_);
}

}  // namespace quarn

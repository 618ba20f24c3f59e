#include "dht/DHTPeerPortHandler.h"

#include "dht/DHTNode.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTask.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"
#include "foundation/LogMacros.h"

namespace quarn {

DHTPeerPortHandler::DHTPeerPortHandler(std::shared_ptr<DHTNode> localNode,
                                       DHTRoutingTable* routingTable, DHTTaskQueue* taskQueue,
                                       DHTTaskFactory* taskFactory)
    : localNode_(std::move(localNode)),
      routingTable_(routingTable),
      taskQueue_(taskQueue),
      taskFactory_(taskFactory) {}

void DHTPeerPortHandler::onPeerPort(const std::string& address, uint16_t port) {
  auto node = std::make_shared<DHTNode>();
  node->setIPAddress(address);
  node->setPort(port);
  taskQueue_->addImmediateTask(taskFactory_->createPingTask(node, 0));
  if (routingTable_->getNumBucket() == 1) {
    QLOG_INFO("Dispatch node_lookup since too few buckets.");
    taskQueue_->addImmediateTask(taskFactory_->createNodeLookupTask(localNode_->getID()));
  }
}

}  // namespace quarn

#include "dht/DHTTaskFactoryImpl.h"

#include "dht/DHTBucketRefreshTask.h"
#include "dht/DHTNodeLookupTask.h"
#include "dht/DHTPeerLookupTask.h"
#include "dht/DHTPingTask.h"
#include "dht/DHTReplaceNodeTask.h"

namespace quarn {

void DHTTaskFactoryImpl::setCommonProperty(DHTAbstractTask& task) const {
  task.setRoutingTable(routingTable_);
  task.setMessageDispatcher(dispatcher_);
  task.setMessageFactory(factory_);
  task.setTaskQueue(taskQueue_);
  task.setLocalNode(localNode_);
}

std::shared_ptr<DHTTask> DHTTaskFactoryImpl::createPingTask(
    const std::shared_ptr<DHTNode>& remoteNode, int numMaxRetry) {
  auto task = std::make_shared<DHTPingTask>(remoteNode, numMaxRetry);
  task->setTimeout(timeout_);
  setCommonProperty(*task);
  return task;
}

std::shared_ptr<DHTTask> DHTTaskFactoryImpl::createNodeLookupTask(const unsigned char* targetID) {
  auto task = std::make_shared<DHTNodeLookupTask>(targetID);
  setCommonProperty(*task);
  return task;
}

std::shared_ptr<DHTTask> DHTTaskFactoryImpl::createBucketRefreshTask() {
  auto task = std::make_shared<DHTBucketRefreshTask>();
  setCommonProperty(*task);
  return task;
}

std::shared_ptr<DHTTask> DHTTaskFactoryImpl::createPeerLookupTask(
    const std::shared_ptr<DownloadContext>& ctx, uint16_t tcpPort,
    const std::shared_ptr<PeerStorage>& peerStorage) {
  auto task = std::make_shared<DHTPeerLookupTask>(ctx, tcpPort);
  task->setPeerStorage(peerStorage);
  setCommonProperty(*task);
  return task;
}

std::shared_ptr<DHTTask> DHTTaskFactoryImpl::createReplaceNodeTask(
    const std::shared_ptr<DHTBucket>& bucket, const std::shared_ptr<DHTNode>& newNode) {
  auto task = std::make_shared<DHTReplaceNodeTask>(bucket, newNode);
  task->setTimeout(timeout_);
  setCommonProperty(*task);
  return task;
}

}  // namespace quarn

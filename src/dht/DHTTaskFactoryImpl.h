#pragma once

#include <chrono>

#include "dht/DHTTaskFactory.h"

namespace quarn {

class DHTAbstractTask;
class DHTMessageDispatcher;
class DHTMessageFactory;
class DHTRoutingTable;
class DHTTaskQueue;

class DHTTaskFactoryImpl : public DHTTaskFactory {
 public:
  std::shared_ptr<DHTTask> createPingTask(const std::shared_ptr<DHTNode>& remoteNode,
                                          int numMaxRetry) override;
  std::shared_ptr<DHTTask> createNodeLookupTask(const unsigned char* targetID) override;
  std::shared_ptr<DHTTask> createBucketRefreshTask() override;
  std::shared_ptr<DHTTask> createPeerLookupTask(
      const std::shared_ptr<DownloadContext>& ctx, uint16_t tcpPort,
      const std::shared_ptr<PeerStorage>& peerStorage) override;
  std::shared_ptr<DHTTask> createReplaceNodeTask(const std::shared_ptr<DHTBucket>& bucket,
                                                 const std::shared_ptr<DHTNode>& newNode) override;

  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  void setMessageDispatcher(DHTMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setMessageFactory(DHTMessageFactory* factory) { factory_ = factory; }
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }
  void setTimeout(std::chrono::seconds timeout) { timeout_ = timeout; }

 private:
  void setCommonProperty(DHTAbstractTask& task) const;

  std::shared_ptr<DHTNode> localNode_;
  DHTRoutingTable* routingTable_ = nullptr;
  DHTMessageDispatcher* dispatcher_ = nullptr;
  DHTMessageFactory* factory_ = nullptr;
  DHTTaskQueue* taskQueue_ = nullptr;
  std::chrono::seconds timeout_{10};
};

}  // namespace quarn

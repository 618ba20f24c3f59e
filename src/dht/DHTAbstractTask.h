#pragma once

#include <memory>

#include "dht/DHTTask.h"

namespace quarn {

class DHTMessageDispatcher;
class DHTMessageFactory;
class DHTNode;
class DHTRoutingTable;
class DHTTaskQueue;

// A task with the DHT objects it works through.
class DHTAbstractTask : public DHTTask {
 public:
  bool finished() override { return finished_; }

  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  void setMessageDispatcher(DHTMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setMessageFactory(DHTMessageFactory* factory) { factory_ = factory; }
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }

  DHTRoutingTable* getRoutingTable() const { return routingTable_; }
  DHTMessageDispatcher* getMessageDispatcher() const { return dispatcher_; }
  DHTMessageFactory* getMessageFactory() const { return factory_; }
  DHTTaskQueue* getTaskQueue() const { return taskQueue_; }
  const std::shared_ptr<DHTNode>& getLocalNode() const { return localNode_; }

 protected:
  void setFinished(bool f) { finished_ = f; }
  // Gives another task the same DHT objects.
  void shareWith(DHTAbstractTask& other) const;

 private:
  bool finished_ = false;
  DHTRoutingTable* routingTable_ = nullptr;
  DHTMessageDispatcher* dispatcher_ = nullptr;
  DHTMessageFactory* factory_ = nullptr;
  DHTTaskQueue* taskQueue_ = nullptr;
  std::shared_ptr<DHTNode> localNode_;
};

}  // namespace quarn

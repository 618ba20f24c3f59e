#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

class DHTRoutingTable;
class DHTTaskFactory;
class DHTTaskQueue;

// Queues a bucket refresh every interval.
class DHTBucketRefreshCommand : public TimeBasedCommand {
 public:
  using TimeBasedCommand::TimeBasedCommand;
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setTaskFactory(DHTTaskFactory* taskFactory) { taskFactory_ = taskFactory; }
  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }

 protected:
  void preProcess() override { exitWhenRunIsOver(); }
  void process() override;

 private:
  DHTTaskQueue* taskQueue_ = nullptr;
  DHTTaskFactory* taskFactory_ = nullptr;
  DHTRoutingTable* routingTable_ = nullptr;
};

}  // namespace quarn

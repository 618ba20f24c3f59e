#pragma once

#include "dht/DHTTaskExecutor.h"
#include "dht/DHTTaskQueue.h"

namespace quarn {

// Three executors of 15 running tasks each: two for periodic work, one for
// tasks that peers' port messages ask for.
class DHTTaskQueueImpl : public DHTTaskQueue {
 public:
  static constexpr size_t NUM_CONCURRENT_TASK = 15;
  // Every port message a peer sends asks for an immediate task, so a peer
  // repeating it could make the waiting list grow without end; what comes
  // beyond this many waiting is dropped.
  static constexpr size_t MAX_IMMEDIATE_WAITING = 100;

  DHTTaskQueueImpl();

  void executeTask() override;
  void addPeriodicTask1(const std::shared_ptr<DHTTask>& task) override;
  void addPeriodicTask2(const std::shared_ptr<DHTTask>& task) override;
  void addImmediateTask(const std::shared_ptr<DHTTask>& task) override;

 private:
  DHTTaskExecutor periodicTaskQueue1_;
  DHTTaskExecutor periodicTaskQueue2_;
  DHTTaskExecutor immediateTaskQueue_;
};

}  // namespace quarn

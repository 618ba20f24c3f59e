#include "dht/DHTTaskQueueImpl.h"

#include "foundation/LogMacros.h"

namespace quarn {

DHTTaskQueueImpl::DHTTaskQueueImpl()
    : periodicTaskQueue1_(NUM_CONCURRENT_TASK),
      periodicTaskQueue2_(NUM_CONCURRENT_TASK),
      immediateTaskQueue_(NUM_CONCURRENT_TASK, MAX_IMMEDIATE_WAITING) {}

void DHTTaskQueueImpl::executeTask() {
  QLOG_DEBUG("Updating periodicTaskQueue1");
  periodicTaskQueue1_.update();
  QLOG_DEBUG("Updating periodicTaskQueue2");
  periodicTaskQueue2_.update();
  QLOG_DEBUG("Updating immediateTaskQueue");
  immediateTaskQueue_.update();
}

void DHTTaskQueueImpl::addPeriodicTask1(const std::shared_ptr<DHTTask>& task) {
  periodicTaskQueue1_.addTask(task);
}

void DHTTaskQueueImpl::addPeriodicTask2(const std::shared_ptr<DHTTask>& task) {
  periodicTaskQueue2_.addTask(task);
}

void DHTTaskQueueImpl::addImmediateTask(const std::shared_ptr<DHTTask>& task) {
  if (!immediateTaskQueue_.addTask(task)) {
    QLOG_DEBUG("immediateTaskQueue is full; task dropped");
  }
}

}  // namespace quarn

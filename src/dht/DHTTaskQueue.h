#pragma once

#include <memory>

namespace quarn {

class DHTTask;

// Where tasks wait to be started; the DHT loop runs executeTask() each turn.
class DHTTaskQueue {
 public:
  virtual ~DHTTaskQueue() = default;
  virtual void executeTask() = 0;
  virtual void addPeriodicTask1(const std::shared_ptr<DHTTask>& task) = 0;
  virtual void addPeriodicTask2(const std::shared_ptr<DHTTask>& task) = 0;
  virtual void addImmediateTask(const std::shared_ptr<DHTTask>& task) = 0;
};

}  // namespace quarn

#pragma once

#include <cstddef>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

namespace quarn {

class DHTTask;

// Starts waiting tasks while fewer than its limit are running.
class DHTTaskExecutor {
 public:
  // At most maxWaiting tasks wait; more are refused.
  explicit DHTTaskExecutor(size_t numConcurrent,
                           size_t maxWaiting = std::numeric_limits<size_t>::max())
      : numConcurrent_(numConcurrent), maxWaiting_(maxWaiting) {}

  // False when the task was refused because too many wait already.
  bool addTask(std::shared_ptr<DHTTask> task);
  // Drops finished tasks and starts waiting ones into the free slots. A task
  // that finishes within its start costs no slot.
  void update();

  size_t getExecutingTaskSize() const { return execTasks_.size(); }
  size_t getQueueSize() const { return queue_.size(); }

 private:
  size_t numConcurrent_;
  size_t maxWaiting_;
  std::vector<std::shared_ptr<DHTTask>> execTasks_;
  std::deque<std::shared_ptr<DHTTask>> queue_;
};

}  // namespace quarn

#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

namespace quarn {

class DHTTask;

// Starts waiting tasks while fewer than its limit are running.
class DHTTaskExecutor {
 public:
  explicit DHTTaskExecutor(size_t numConcurrent) : numConcurrent_(numConcurrent) {}

  void addTask(std::shared_ptr<DHTTask> task) { queue_.push_back(std::move(task)); }
  // Drops finished tasks and starts waiting ones into the free slots. A task
  // that finishes within its start costs no slot.
  void update();

  size_t getExecutingTaskSize() const { return execTasks_.size(); }
  size_t getQueueSize() const { return queue_.size(); }

 private:
  size_t numConcurrent_;
  std::vector<std::shared_ptr<DHTTask>> execTasks_;
  std::deque<std::shared_ptr<DHTTask>> queue_;
};

}  // namespace quarn

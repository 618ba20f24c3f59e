#include "dht/DHTTaskExecutor.h"

#include "dht/DHTTask.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"

namespace quarn {

bool DHTTaskExecutor::addTask(std::shared_ptr<DHTTask> task) {
  if (queue_.size() >= maxWaiting_) {
    return false;
  }
  queue_.push_back(std::move(task));
  return true;
}

void DHTTaskExecutor::update() {
  std::erase_if(execTasks_, [](const auto& t) { return t->finished(); });
  while (execTasks_.size() < numConcurrent_ && !queue_.empty()) {
    std::shared_ptr<DHTTask> task = std::move(queue_.front());
    queue_.pop_front();
    task->startup();
    if (!task->finished()) {
      execTasks_.push_back(std::move(task));
    }
  }
  QLOG_DEBUG(fmt("Executing %u Task(s). Queue has %u task(s).",
                 static_cast<unsigned int>(execTasks_.size()),
                 static_cast<unsigned int>(queue_.size())));
}

}  // namespace quarn

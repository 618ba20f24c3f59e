#include "dht/DHTBucketRefreshCommand.h"

#include "dht/DHTTask.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"

namespace quarn {

void DHTBucketRefreshCommand::process() {
  taskQueue_->addPeriodicTask1(taskFactory_->createBucketRefreshTask());
}

}  // namespace quarn

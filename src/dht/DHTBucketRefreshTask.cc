#include "dht/DHTBucketRefreshTask.h"

#include <vector>

#include "dht/DHTBucket.h"
#include "dht/DHTNodeLookupTask.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTaskQueue.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

void DHTBucketRefreshTask::startup() {
  std::vector<std::shared_ptr<DHTBucket>> buckets;
  getRoutingTable()->getBuckets(buckets);
  for (const auto& bucket : buckets) {
    if (!forceRefresh_ && !bucket->needsRefresh()) {
      continue;
    }
    bucket->notifyUpdate();
    unsigned char targetID[DHT_ID_LENGTH];
    bucket->getRandomNodeID(targetID);
    auto task = std::make_shared<DHTNodeLookupTask>(targetID);
    shareWith(*task);
    QLOG_INFO(
        fmt("Dispating bucket refresh. targetID=%s", util::toHex(targetID, DHT_ID_LENGTH).c_str()));
    getTaskQueue()->addPeriodicTask1(task);
  }
  setFinished(true);
}

}  // namespace quarn

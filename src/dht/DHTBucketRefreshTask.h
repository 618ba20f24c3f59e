#pragma once

#include "dht/DHTAbstractTask.h"

namespace quarn {

// Starts a node lookup for a random id in every bucket that is not full or
// has been quiet for 15 minutes (every bucket when forced).
class DHTBucketRefreshTask : public DHTAbstractTask {
 public:
  void startup() override;
  void setForceRefresh(bool f) { forceRefresh_ = f; }

 private:
  bool forceRefresh_ = false;
};

}  // namespace quarn

#pragma once

#include <chrono>
#include <memory>

#include "dht/DHTAbstractTask.h"

namespace quarn {

class DHTBucket;
class DHTPingReplyMessage;

// Pings a full bucket's least recently seen questionable node; when it
// stays silent twice, it is marked bad and the new node offered in its place.
class DHTReplaceNodeTask : public DHTAbstractTask {
 public:
  DHTReplaceNodeTask(std::shared_ptr<DHTBucket> bucket, std::shared_ptr<DHTNode> newNode);

  void startup() override { sendMessage(); }
  void onReceived(const DHTPingReplyMessage* message);
  void onTimeout(const std::shared_ptr<DHTNode>& node);
  void setTimeout(std::chrono::seconds timeout) { timeout_ = timeout; }

 private:
  void sendMessage();

  std::shared_ptr<DHTBucket> bucket_;
  std::shared_ptr<DHTNode> newNode_;
  int numRetry_ = 0;
  std::chrono::seconds timeout_{10};
};

}  // namespace quarn

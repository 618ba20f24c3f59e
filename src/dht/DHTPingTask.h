#pragma once

#include <chrono>
#include <memory>

#include "dht/DHTAbstractTask.h"

namespace quarn {

class DHTPingReplyMessage;

// Pings one node, again after each time-out, up to a number of tries. The
// answer itself brings the node into the routing table.
class DHTPingTask : public DHTAbstractTask {
 public:
  DHTPingTask(std::shared_ptr<DHTNode> remoteNode, int numMaxRetry = 0);

  void startup() override { addMessage(); }
  void onReceived(const DHTPingReplyMessage* message);
  void onTimeout(const std::shared_ptr<DHTNode>& node);

  bool isPingSuccessful() const { return pingSuccessful_; }
  void setTimeout(std::chrono::seconds timeout) { timeout_ = timeout; }

 private:
  void addMessage();

  std::shared_ptr<DHTNode> remoteNode_;
  int numMaxRetry_;
  int numRetry_ = 0;
  bool pingSuccessful_ = false;
  std::chrono::seconds timeout_{10};
};

}  // namespace quarn

#pragma once

#include <deque>
#include <memory>

#include "dht/DHTMessageDispatcher.h"

namespace quarn {

class DHTMessageTracker;

// Sends queued messages in order; a send that would block waits for the next
// turn with everything behind it.
class DHTMessageDispatcherImpl : public DHTMessageDispatcher {
 public:
  explicit DHTMessageDispatcherImpl(std::shared_ptr<DHTMessageTracker> tracker);
  ~DHTMessageDispatcherImpl() override;

  void addMessageToQueue(std::unique_ptr<DHTMessage> message, std::chrono::seconds timeout,
                         std::unique_ptr<DHTMessageCallback> callback) override;
  void addMessageToQueue(std::unique_ptr<DHTMessage> message,
                         std::unique_ptr<DHTMessageCallback> callback) override;
  void sendMessages() override;
  size_t countMessageInQueue() const override { return queue_.size(); }

  void setTimeout(std::chrono::seconds timeout) { timeout_ = timeout; }

 private:
  struct Entry;
  bool sendMessage(Entry& entry);

  std::shared_ptr<DHTMessageTracker> tracker_;
  std::deque<std::unique_ptr<Entry>> queue_;
  std::chrono::seconds timeout_{10};
};

}  // namespace quarn

#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

namespace quarn {

class DHTMessage;
class DHTMessageCallback;

// Queues outgoing messages; queries that leave are tracked for their reply.
class DHTMessageDispatcher {
 public:
  virtual ~DHTMessageDispatcher() = default;
  virtual void addMessageToQueue(std::unique_ptr<DHTMessage> message, std::chrono::seconds timeout,
                                 std::unique_ptr<DHTMessageCallback> callback) = 0;
  // With the dispatcher's default time-out.
  virtual void addMessageToQueue(std::unique_ptr<DHTMessage> message,
                                 std::unique_ptr<DHTMessageCallback> callback) = 0;
  virtual void sendMessages() = 0;
  virtual size_t countMessageInQueue() const = 0;
};

}  // namespace quarn

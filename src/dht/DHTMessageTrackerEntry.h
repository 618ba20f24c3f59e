#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Timer.h"

namespace quarn {

class DHTMessage;
class DHTMessageCallback;
class DHTNode;

// A query in flight: where it went, its transaction id and method, and who
// wants to hear of the reply.
class DHTMessageTrackerEntry {
 public:
  DHTMessageTrackerEntry(std::shared_ptr<DHTNode> targetNode, std::string transactionID,
                         std::string messageType, std::chrono::seconds timeout,
                         std::unique_ptr<DHTMessageCallback> callback);
  ~DHTMessageTrackerEntry();

  bool isTimeout() const;
  // The reply's transaction id and sender fit this query; an IPv4 address
  // matches its IPv4-mapped IPv6 form.
  bool match(const std::string& transactionID, const std::string& ipaddr, uint16_t port) const;
  std::chrono::nanoseconds getElapsed() const;

  const std::shared_ptr<DHTNode>& getTargetNode() const { return targetNode_; }
  const std::string& getMessageType() const { return messageType_; }
  DHTMessageCallback* getCallback() const { return callback_.get(); }
  std::unique_ptr<DHTMessageCallback> popCallback() { return std::move(callback_); }

 private:
  std::shared_ptr<DHTNode> targetNode_;
  std::string transactionID_;
  std::string messageType_;
  std::unique_ptr<DHTMessageCallback> callback_;
  Timer dispatched_;
  std::chrono::seconds timeout_;
};

}  // namespace quarn

#include "dht/DHTMessageTrackerEntry.h"

#include "dht/DHTMessageCallback.h"
#include "dht/DHTNode.h"
#include "foundation/wallclock.h"

namespace quarn {

DHTMessageTrackerEntry::DHTMessageTrackerEntry(std::shared_ptr<DHTNode> targetNode,
                                               std::string transactionID, std::string messageType,
                                               std::chrono::seconds timeout,
                                               std::unique_ptr<DHTMessageCallback> callback)
    : targetNode_(std::move(targetNode)),
      transactionID_(std::move(transactionID)),
      messageType_(std::move(messageType)),
      callback_(std::move(callback)),
      dispatched_(global::wallclock()),
      timeout_(timeout) {}

DHTMessageTrackerEntry::~DHTMessageTrackerEntry() = default;

bool DHTMessageTrackerEntry::isTimeout() const {
  return getElapsed() >= timeout_;
}

std::chrono::nanoseconds DHTMessageTrackerEntry::getElapsed() const {
  return dispatched_.difference(global::wallclock());
}

bool DHTMessageTrackerEntry::match(const std::string& transactionID, const std::string& ipaddr,
                                   uint16_t port) const {
  if (transactionID_ != transactionID || targetNode_->getPort() != port) {
    return false;
  }
  static const std::string MAPPED = "::ffff:";
  const std::string& target = targetNode_->getIPAddress();
  return target == ipaddr || target == MAPPED + ipaddr || MAPPED + target == ipaddr;
}

}  // namespace quarn

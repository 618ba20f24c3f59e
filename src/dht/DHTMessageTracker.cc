#include "dht/DHTMessageTracker.h"

#include <algorithm>

#include "dht/DHTConstants.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTMessageTrackerEntry.h"
#include "dht/DHTNode.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/LogMacros.h"
#include "foundation/String.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

int64_t millis(std::chrono::nanoseconds d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

}  // namespace

DHTMessageTracker::DHTMessageTracker() = default;
DHTMessageTracker::~DHTMessageTracker() = default;

void DHTMessageTracker::addMessage(const DHTMessage& message, std::chrono::seconds timeout,
                                   std::unique_ptr<DHTMessageCallback> callback) {
  entries_.push_back(std::make_unique<DHTMessageTrackerEntry>(
      message.getRemoteNode(), message.getTransactionID(), message.getMessageType(), timeout,
      std::move(callback)));
}

std::pair<std::unique_ptr<DHTResponseMessage>, std::unique_ptr<DHTMessageCallback>>
DHTMessageTracker::messageArrived(const Dict& dict, const std::string& ipaddr, uint16_t port) {
  const auto* tid = valueAs<String>(dict.get("t"));
  if (!tid) {
    throw DL_ABORT_EX(fmt("Malformed DHT message. From:%s:%u", ipaddr.c_str(), port));
  }
  QLOG_DEBUG(fmt("Searching tracker entry for TransactionID=%s, Remote=%s:%u",
                 util::toHex(tid->s()).c_str(), ipaddr.c_str(), port));
  auto i = std::find_if(entries_.begin(), entries_.end(),
                        [&](const auto& e) { return e->match(tid->s(), ipaddr, port); });
  if (i == entries_.end()) {
    QLOG_DEBUG("Tracker entry not found.");
    return {};
  }
  QLOG_DEBUG("Tracker entry found.");
  std::unique_ptr<DHTMessageTrackerEntry> entry = std::move(*i);
  entries_.erase(i);
  const auto& target = entry->getTargetNode();
  std::unique_ptr<DHTResponseMessage> message;
  try {
    message = factory_->createResponseMessage(entry->getMessageType(), dict, target->getIPAddress(),
                                              target->getPort());
  } catch (const RecoverableException&) {
    handleTimeoutEntry(*entry);
    throw;
  }
  int64_t rtt = millis(entry->getElapsed());
  QLOG_DEBUG(fmt("RTT is %lld", static_cast<long long>(rtt)));
  message->getRemoteNode()->setRTT(rtt);
  if (*target != *message->getRemoteNode()) {
    QLOG_DEBUG(fmt("Node ID has changed: old:%s, new:%s",
                   util::toHex(target->getID(), DHT_ID_LENGTH).c_str(),
                   util::toHex(message->getRemoteNode()->getID(), DHT_ID_LENGTH).c_str()));
    routingTable_->dropNode(target);
  }
  return {std::move(message), entry->popCallback()};
}

void DHTMessageTracker::handleTimeout() {
  // Callbacks may queue new queries, so the timed-out entries leave the list
  // before any of them is told.
  std::deque<std::unique_ptr<DHTMessageTrackerEntry>> expired;
  for (auto i = entries_.begin(); i != entries_.end();) {
    if ((*i)->isTimeout()) {
      expired.push_back(std::move(*i));
      i = entries_.erase(i);
    } else {
      ++i;
    }
  }
  for (auto& entry : expired) {
    handleTimeoutEntry(*entry);
  }
}

void DHTMessageTracker::handleTimeoutEntry(DHTMessageTrackerEntry& entry) {
  try {
    const auto& node = entry.getTargetNode();
    QLOG_DEBUG(fmt("Message timeout: To:%s:%u", node->getIPAddress().c_str(), node->getPort()));
    node->setRTT(millis(entry.getElapsed()));
    node->timeout();
    if (node->isBad()) {
      QLOG_DEBUG(fmt("Marked bad: %s:%u", node->getIPAddress().c_str(), node->getPort()));
      routingTable_->dropNode(node);
    }
    if (DHTMessageCallback* callback = entry.getCallback()) {
      callback->onTimeout(node);
    }
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Exception thrown while handling timeouts.", e);
  }
}

const DHTMessageTrackerEntry* DHTMessageTracker::getEntryFor(const DHTMessage& message) const {
  const auto& remote = message.getRemoteNode();
  for (const auto& e : entries_) {
    if (e->match(message.getTransactionID(), remote->getIPAddress(), remote->getPort())) {
      return e.get();
    }
  }
  return nullptr;
}

}  // namespace quarn

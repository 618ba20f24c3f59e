#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>

namespace quarn {

class Dict;
class DHTMessage;
class DHTMessageCallback;
class DHTMessageFactory;
class DHTMessageTrackerEntry;
class DHTResponseMessage;
class DHTRoutingTable;

// The queries this node sent and still waits for: replies are matched to
// them, silence turns into time-outs of the queried node.
class DHTMessageTracker {
 public:
  DHTMessageTracker();
  ~DHTMessageTracker();

  void addMessage(const DHTMessage& message, std::chrono::seconds timeout,
                  std::unique_ptr<DHTMessageCallback> callback);
  // The decoded reply and the callback of its query; both empty when no
  // query matches. Throws DlAbortEx for a reply that cannot be decoded,
  // after counting it as a time-out of the queried node.
  std::pair<std::unique_ptr<DHTResponseMessage>, std::unique_ptr<DHTMessageCallback>>
  messageArrived(const Dict& dict, const std::string& ipaddr, uint16_t port);
  void handleTimeout();

  const DHTMessageTrackerEntry* getEntryFor(const DHTMessage& message) const;
  size_t countEntry() const { return entries_.size(); }

  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  void setMessageFactory(DHTMessageFactory* factory) { factory_ = factory; }

 private:
  void handleTimeoutEntry(DHTMessageTrackerEntry& entry);

  std::deque<std::unique_ptr<DHTMessageTrackerEntry>> entries_;
  DHTRoutingTable* routingTable_ = nullptr;
  DHTMessageFactory* factory_ = nullptr;
};

}  // namespace quarn

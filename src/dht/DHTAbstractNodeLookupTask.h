#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "dht/DHTAbstractTask.h"
#include "dht/DHTConstants.h"
#include "dht/DHTIDCloser.h"
#include "dht/DHTMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTNode.h"
#include "dht/DHTNodeLookupEntry.h"
#include "dht/DHTRoutingTable.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

// The iterative lookup: ask the nearest known nodes about the target, at
// most 3 at a time, merge the nodes they report and go on until the 8
// nearest known have all answered or timed out.
template <typename ReplyMessage>
class DHTAbstractNodeLookupTask : public DHTAbstractTask {
 public:
  static constexpr size_t MAX_IN_FLIGHT = 3;

  explicit DHTAbstractNodeLookupTask(const unsigned char* targetID) {
    memcpy(targetID_, targetID, DHT_ID_LENGTH);
  }

  void startup() override {
    std::vector<std::shared_ptr<DHTNode>> nodes;
    getRoutingTable()->getClosestKNodes(nodes, targetID_);
    entries_.clear();
    toEntries(entries_, nodes);
    if (entries_.empty()) {
      setFinished(true);
      return;
    }
    inFlight_ = 0;
    sendMessage();
    if (inFlight_ == 0) {
      QLOG_DEBUG("No message was sent in this lookup stage. Finished.");
      setFinished(true);
    }
  }

  void onReceived(const ReplyMessage* message) {
    releaseSlot();
    const auto& sender = message->getRemoteNode();
    for (auto& e : entries_) {
      if (e->node->getIPAddress() == sender->getIPAddress() &&
          e->node->getPort() == sender->getPort()) {
        e->node = sender;
      }
    }
    onReceivedInternal(message);
    mergeReportedNodes(message);
    sendMessageAndCheckFinish();
  }

  void onTimeout(const std::shared_ptr<DHTNode>& node) {
    QLOG_DEBUG(fmt("node lookup message timeout for node ID=%s",
                   util::toHex(node->getID(), DHT_ID_LENGTH).c_str()));
    releaseSlot();
    auto i = std::find_if(entries_.begin(), entries_.end(),
                          [&](const auto& e) { return *e->node == *node; });
    if (i != entries_.end()) {
      entries_.erase(i);
    }
    sendMessageAndCheckFinish();
  }

  const unsigned char* getTargetID() const { return targetID_; }
  const std::deque<std::unique_ptr<DHTNodeLookupEntry>>& getEntries() const { return entries_; }
  size_t getInFlightMessage() const { return inFlight_; }

 protected:
  virtual void getNodesFromMessage(std::vector<std::shared_ptr<DHTNode>>& nodes,
                                   const ReplyMessage* message) = 0;
  virtual void onReceivedInternal(const ReplyMessage*) {}
  virtual bool needsAdditionalOutgoingMessage() { return true; }
  virtual void onFinish() {}
  virtual std::unique_ptr<DHTMessage> createMessage(const std::shared_ptr<DHTNode>& node) = 0;
  virtual std::unique_ptr<DHTMessageCallback> createCallback() = 0;

 private:
  template <typename Container>
  static void toEntries(Container& entries, const std::vector<std::shared_ptr<DHTNode>>& nodes) {
    for (const auto& node : nodes) {
      entries.push_back(std::make_unique<DHTNodeLookupEntry>(node));
    }
  }

  void mergeReportedNodes(const ReplyMessage* message) {
    std::vector<std::shared_ptr<DHTNode>> nodes;
    getNodesFromMessage(nodes, message);
    std::vector<std::unique_ptr<DHTNodeLookupEntry>> fresh;
    toEntries(fresh, nodes);
    // New entries go behind the known ones, so after the stable sort a known
    // entry stays ahead of a new one with the same id and keeps its used
    // flag; among new ones the first reported stays.
    size_t added = 0;
    for (auto& e : fresh) {
      if (*e->node == *getLocalNode()) {
        continue;
      }
      QLOG_DEBUG(fmt("Received nodes: id=%s, ip=%s",
                     util::toHex(e->node->getID(), DHT_ID_LENGTH).c_str(),
                     e->node->getIPAddress().c_str()));
      entries_.push_back(std::move(e));
      ++added;
    }
    QLOG_DEBUG(fmt("%lu node lookup entries added.", static_cast<unsigned long>(added)));
    std::stable_sort(entries_.begin(), entries_.end(), DHTIDCloser(targetID_));
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const auto& a, const auto& b) { return *a == *b; }),
                   entries_.end());
    QLOG_DEBUG(
        fmt("%lu node lookup entries are unique.", static_cast<unsigned long>(entries_.size())));
    if (entries_.size() > DHT_BUCKET_SIZE) {
      entries_.resize(DHT_BUCKET_SIZE);
    }
  }

  void releaseSlot() {
    if (inFlight_ > 0) {
      --inFlight_;
    }
  }

  void sendMessage() {
    for (auto& e : entries_) {
      if (inFlight_ >= MAX_IN_FLIGHT) {
        break;
      }
      if (!e->used) {
        ++inFlight_;
        e->used = true;
        getMessageDispatcher()->addMessageToQueue(createMessage(e->node), createCallback());
      }
    }
  }

  void sendMessageAndCheckFinish() {
    if (needsAdditionalOutgoingMessage()) {
      sendMessage();
    }
    if (inFlight_ > 0) {
      QLOG_DEBUG(fmt("%lu in flight message for node ID %s", static_cast<unsigned long>(inFlight_),
                     util::toHex(targetID_, DHT_ID_LENGTH).c_str()));
      return;
    }
    QLOG_DEBUG(
        fmt("Finished node_lookup for node ID %s", util::toHex(targetID_, DHT_ID_LENGTH).c_str()));
    onFinish();
    setFinished(true);
  }

  unsigned char targetID_[DHT_ID_LENGTH];
  std::deque<std::unique_ptr<DHTNodeLookupEntry>> entries_;
  size_t inFlight_ = 0;
};

}  // namespace quarn

#include "dht/DHTBucket.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "dht/DHTNode.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_random.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"
#include "storage/bitfield.h"

namespace quarn {

namespace {

// The longest prefix a bucket may get: a bucket of one id pair.
constexpr size_t MAX_PREFIX_LENGTH = DHT_ID_LENGTH * 8 - 1;

bool inRange(const unsigned char* id, const unsigned char* min, const unsigned char* max) {
  return memcmp(min, id, DHT_ID_LENGTH) <= 0 && memcmp(id, max, DHT_ID_LENGTH) <= 0;
}

}  // namespace

DHTBucket::DHTBucket(std::shared_ptr<DHTNode> localNode)
    : prefixLength_(0), localNode_(std::move(localNode)), lastUpdated_(global::wallclock()) {
  memset(max_, 0xff, DHT_ID_LENGTH);
  memset(min_, 0, DHT_ID_LENGTH);
}

DHTBucket::DHTBucket(size_t prefixLength, const unsigned char* max, const unsigned char* min,
                     std::shared_ptr<DHTNode> localNode)
    : prefixLength_(prefixLength),
      localNode_(std::move(localNode)),
      lastUpdated_(global::wallclock()) {
  memcpy(max_, max, DHT_ID_LENGTH);
  memcpy(min_, min, DHT_ID_LENGTH);
}

std::deque<std::shared_ptr<DHTNode>>::iterator DHTBucket::find(const DHTNode& node) {
  return std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& n) { return *n == node; });
}

bool DHTBucket::addNode(const std::shared_ptr<DHTNode>& node) {
  notifyUpdate();
  if (auto i = find(*node); i != nodes_.end()) {
    nodes_.erase(i);
    nodes_.push_back(node);
    return true;
  }
  if (nodes_.size() < DHT_BUCKET_SIZE) {
    nodes_.push_back(node);
    return true;
  }
  if (nodes_.front()->isBad()) {
    nodes_.pop_front();
    nodes_.push_back(node);
    return true;
  }
  return false;
}

void DHTBucket::cacheNode(const std::shared_ptr<DHTNode>& node) {
  cachedNodes_.push_front(node);
  if (cachedNodes_.size() > DHT_CACHE_SIZE) {
    cachedNodes_.resize(DHT_CACHE_SIZE);
  }
}

void DHTBucket::dropNode(const std::shared_ptr<DHTNode>& node) {
  if (cachedNodes_.empty()) {
    return;
  }
  if (auto i = find(*node); i != nodes_.end()) {
    nodes_.erase(i);
    nodes_.push_back(cachedNodes_.front());
    cachedNodes_.pop_front();
  }
}

void DHTBucket::moveToHead(const std::shared_ptr<DHTNode>& node) {
  if (auto i = find(*node); i != nodes_.end()) {
    nodes_.erase(i);
    nodes_.push_front(node);
  }
}

void DHTBucket::moveToTail(const std::shared_ptr<DHTNode>& node) {
  if (auto i = find(*node); i != nodes_.end()) {
    nodes_.erase(i);
    nodes_.push_back(node);
  }
}

bool DHTBucket::isInRange(const std::shared_ptr<DHTNode>& node) const {
  return isInRange(node->getID());
}

bool DHTBucket::isInRange(const unsigned char* id) const {
  return inRange(id, min_, max_);
}

bool DHTBucket::splitAllowed() const {
  return prefixLength_ < MAX_PREFIX_LENGTH && isInRange(localNode_);
}

std::unique_ptr<DHTBucket> DHTBucket::split() {
  assert(splitAllowed());
  // The lower half keeps this min and gets bit p of max cleared; this
  // bucket keeps max and gets bit p of min set.
  unsigned char lowerMax[DHT_ID_LENGTH];
  memcpy(lowerMax, max_, DHT_ID_LENGTH);
  bitfield::flipBit(lowerMax, DHT_ID_LENGTH, prefixLength_);
  auto lower = std::make_unique<DHTBucket>(prefixLength_ + 1, lowerMax, min_, localNode_);
  bitfield::flipBit(min_, DHT_ID_LENGTH, prefixLength_);
  ++prefixLength_;
  std::deque<std::shared_ptr<DHTNode>> kept;
  for (const auto& node : nodes_) {
    if (lower->isInRange(node)) {
      [[maybe_unused]] bool added = lower->addNode(node);
      assert(added);
    } else {
      kept.push_back(node);
    }
  }
  nodes_ = std::move(kept);
  QLOG_DEBUG(fmt("New bucket. prefixLength=%u, Range:%s-%s",
                 static_cast<unsigned int>(lower->prefixLength_),
                 util::toHex(lower->min_, DHT_ID_LENGTH).c_str(),
                 util::toHex(lower->max_, DHT_ID_LENGTH).c_str()));
  QLOG_DEBUG(fmt("Existing bucket. prefixLength=%u, Range:%s-%s",
                 static_cast<unsigned int>(prefixLength_), util::toHex(min_, DHT_ID_LENGTH).c_str(),
                 util::toHex(max_, DHT_ID_LENGTH).c_str()));
  return lower;
}

void DHTBucket::getGoodNodes(std::vector<std::shared_ptr<DHTNode>>& nodes) const {
  for (const auto& node : nodes_) {
    if (!node->isBad()) {
      nodes.push_back(node);
    }
  }
}

std::shared_ptr<DHTNode> DHTBucket::getNode(const unsigned char* id, const std::string& ipaddr,
                                            uint16_t port) const {
  for (const auto& node : nodes_) {
    if (memcmp(node->getID(), id, DHT_ID_LENGTH) == 0) {
      if (node->getIPAddress() == ipaddr && node->getPort() == port) {
        return node;
      }
      break;
    }
  }
  return nullptr;
}

void DHTBucket::getRandomNodeID(unsigned char* id) const {
  util::generateRandomKey(id);
  if (prefixLength_ > 0) {
    memcpy(id, min_, (prefixLength_ - 1) / 8 + 1);
  }
}

bool DHTBucket::needsRefresh() const {
  return nodes_.size() < DHT_BUCKET_SIZE ||
         lastUpdated_.difference(global::wallclock()) > DHT_NODE_CONTACT_INTERVAL;
}

void DHTBucket::notifyUpdate() {
  lastUpdated_ = global::wallclock();
}

bool DHTBucket::containsQuestionableNode() const {
  return getLRUQuestionableNode() != nullptr;
}

std::shared_ptr<DHTNode> DHTBucket::getLRUQuestionableNode() const {
  for (const auto& node : nodes_) {
    if (node->isQuestionable()) {
      return node;
    }
  }
  return nullptr;
}

bool DHTBucket::operator==(const DHTBucket& other) const {
  return memcmp(max_, other.max_, DHT_ID_LENGTH) == 0 &&
         memcmp(min_, other.min_, DHT_ID_LENGTH) == 0;
}

std::string DHTBucket::toString() const {
  return fmt("prefixLength=%u, Range:%s-%s", static_cast<unsigned int>(prefixLength_),
             util::toHex(min_, DHT_ID_LENGTH).c_str(), util::toHex(max_, DHT_ID_LENGTH).c_str());
}

}  // namespace quarn

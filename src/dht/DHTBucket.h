#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConstants.h"
#include "foundation/Timer.h"

namespace quarn {

class DHTNode;

// A k-bucket: the nodes whose ids share the first prefix-length bits of its
// range, least recently seen first, with a small cache of replacements.
class DHTBucket {
 public:
  // The whole id space.
  explicit DHTBucket(std::shared_ptr<DHTNode> localNode);
  DHTBucket(size_t prefixLength, const unsigned char* max, const unsigned char* min,
            std::shared_ptr<DHTNode> localNode);

  // Admits the node at the tail when it is known, there is room or the head
  // is bad; false when the bucket is full of nodes that are not bad.
  bool addNode(const std::shared_ptr<DHTNode>& node);
  void cacheNode(const std::shared_ptr<DHTNode>& node);
  // Replaces the node with the newest cached one; without a cached node
  // the node stays.
  void dropNode(const std::shared_ptr<DHTNode>& node);
  void moveToHead(const std::shared_ptr<DHTNode>& node);
  void moveToTail(const std::shared_ptr<DHTNode>& node);

  bool isInRange(const std::shared_ptr<DHTNode>& node) const;
  bool isInRange(const unsigned char* id) const;
  bool splitAllowed() const;
  // Keeps the upper half of the range and returns a bucket with the lower
  // half and its nodes. Only allowed when splitAllowed() holds.
  std::unique_ptr<DHTBucket> split();

  // Appends the nodes that are not bad, head first.
  void getGoodNodes(std::vector<std::shared_ptr<DHTNode>>& nodes) const;
  std::shared_ptr<DHTNode> getNode(const unsigned char* id, const std::string& ipaddr,
                                   uint16_t port) const;
  // A random id inside the range.
  void getRandomNodeID(unsigned char* id) const;
  bool needsRefresh() const;
  void notifyUpdate();
  bool containsQuestionableNode() const;
  std::shared_ptr<DHTNode> getLRUQuestionableNode() const;

  size_t getPrefixLength() const { return prefixLength_; }
  const unsigned char* getMaxID() const { return max_; }
  const unsigned char* getMinID() const { return min_; }
  const std::deque<std::shared_ptr<DHTNode>>& getNodes() const { return nodes_; }
  const std::deque<std::shared_ptr<DHTNode>>& getCachedNodes() const { return cachedNodes_; }
  const Timer& getLastUpdated() const { return lastUpdated_; }

  bool operator==(const DHTBucket& other) const;

  std::string toString() const;

 private:
  std::deque<std::shared_ptr<DHTNode>>::iterator find(const DHTNode& node);

  size_t prefixLength_;
  unsigned char max_[DHT_ID_LENGTH];
  unsigned char min_[DHT_ID_LENGTH];
  std::shared_ptr<DHTNode> localNode_;
  std::deque<std::shared_ptr<DHTNode>> nodes_;
  std::deque<std::shared_ptr<DHTNode>> cachedNodes_;
  Timer lastUpdated_;
};

}  // namespace quarn

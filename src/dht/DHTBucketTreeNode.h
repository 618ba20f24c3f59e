#pragma once

#include <memory>
#include <vector>

#include "dht/DHTConstants.h"

namespace quarn {

class DHTBucket;
class DHTNode;

// A node of the binary tree of buckets: a leaf holds one bucket, an inner
// node the lower (left) and upper (right) halves of its range.
class DHTBucketTreeNode {
 public:
  explicit DHTBucketTreeNode(std::shared_ptr<DHTBucket> bucket);
  DHTBucketTreeNode(std::unique_ptr<DHTBucketTreeNode> left,
                    std::unique_ptr<DHTBucketTreeNode> right);

  // Null for a leaf; otherwise the child whose range holds the id.
  DHTBucketTreeNode* dig(const unsigned char* id) const;
  bool isInRange(const unsigned char* id) const;
  // Splits the leaf's bucket into two child leaves.
  void split();

  bool leaf() const { return bucket_ != nullptr; }
  DHTBucketTreeNode* getParent() const { return parent_; }
  DHTBucketTreeNode* getLeft() const { return left_.get(); }
  DHTBucketTreeNode* getRight() const { return right_.get(); }
  const std::shared_ptr<DHTBucket>& getBucket() const { return bucket_; }
  const unsigned char* getMinId() const { return minId_; }
  const unsigned char* getMaxId() const { return maxId_; }

 private:
  void adopt(std::unique_ptr<DHTBucketTreeNode> left, std::unique_ptr<DHTBucketTreeNode> right);

  DHTBucketTreeNode* parent_ = nullptr;
  std::unique_ptr<DHTBucketTreeNode> left_;
  std::unique_ptr<DHTBucketTreeNode> right_;
  std::shared_ptr<DHTBucket> bucket_;
  unsigned char minId_[DHT_ID_LENGTH];
  unsigned char maxId_[DHT_ID_LENGTH];
};

namespace dht {

DHTBucketTreeNode* findTreeNodeFor(DHTBucketTreeNode* root, const unsigned char* key);
std::shared_ptr<DHTBucket> findBucketFor(DHTBucketTreeNode* root, const unsigned char* key);
// Up to 8 nodes that are not bad from the key's bucket and then its
// neighbours; not sorted by distance.
void findClosestKNodes(std::vector<std::shared_ptr<DHTNode>>& nodes, DHTBucketTreeNode* root,
                       const unsigned char* key);
// Every bucket below the tree node in ascending id order.
void enumerateBucket(std::vector<std::shared_ptr<DHTBucket>>& buckets,
                     const DHTBucketTreeNode* node);

}  // namespace dht

}  // namespace quarn

#include "dht/DHTBucketTreeNode.h"

#include <cstring>

#include "dht/DHTBucket.h"
#include "dht/DHTNode.h"

namespace quarn {

DHTBucketTreeNode::DHTBucketTreeNode(std::shared_ptr<DHTBucket> bucket)
    : bucket_(std::move(bucket)) {
  memcpy(minId_, bucket_->getMinID(), DHT_ID_LENGTH);
  memcpy(maxId_, bucket_->getMaxID(), DHT_ID_LENGTH);
}

DHTBucketTreeNode::DHTBucketTreeNode(std::unique_ptr<DHTBucketTreeNode> left,
                                     std::unique_ptr<DHTBucketTreeNode> right) {
  adopt(std::move(left), std::move(right));
}

void DHTBucketTreeNode::adopt(std::unique_ptr<DHTBucketTreeNode> left,
                              std::unique_ptr<DHTBucketTreeNode> right) {
  left_ = std::move(left);
  right_ = std::move(right);
  left_->parent_ = this;
  right_->parent_ = this;
  memcpy(minId_, left_->minId_, DHT_ID_LENGTH);
  memcpy(maxId_, right_->maxId_, DHT_ID_LENGTH);
}

DHTBucketTreeNode* DHTBucketTreeNode::dig(const unsigned char* id) const {
  if (leaf()) {
    return nullptr;
  }
  return left_->isInRange(id) ? left_.get() : right_.get();
}

bool DHTBucketTreeNode::isInRange(const unsigned char* id) const {
  return memcmp(minId_, id, DHT_ID_LENGTH) <= 0 && memcmp(id, maxId_, DHT_ID_LENGTH) <= 0;
}

void DHTBucketTreeNode::split() {
  std::shared_ptr<DHTBucket> lower = bucket_->split();
  auto left = std::make_unique<DHTBucketTreeNode>(std::move(lower));
  auto right = std::make_unique<DHTBucketTreeNode>(std::move(bucket_));
  bucket_.reset();
  adopt(std::move(left), std::move(right));
}

namespace dht {

namespace {

using NodeList = std::vector<std::shared_ptr<DHTNode>>;

void collect(NodeList& nodes, const DHTBucketTreeNode* tn, bool leftFirst) {
  if (tn->leaf()) {
    tn->getBucket()->getGoodNodes(nodes);
    return;
  }
  const DHTBucketTreeNode* first = leftFirst ? tn->getLeft() : tn->getRight();
  const DHTBucketTreeNode* second = leftFirst ? tn->getRight() : tn->getLeft();
  collect(nodes, first, leftFirst);
  if (nodes.size() < DHT_BUCKET_SIZE) {
    collect(nodes, second, leftFirst);
  }
}

}  // namespace

DHTBucketTreeNode* findTreeNodeFor(DHTBucketTreeNode* root, const unsigned char* key) {
  while (!root->leaf()) {
    root = root->dig(key);
  }
  return root;
}

std::shared_ptr<DHTBucket> findBucketFor(DHTBucketTreeNode* root, const unsigned char* key) {
  return findTreeNodeFor(root, key)->getBucket();
}

void findClosestKNodes(NodeList& nodes, DHTBucketTreeNode* root, const unsigned char* key) {
  if (nodes.size() >= DHT_BUCKET_SIZE) {
    return;
  }
  if (root->leaf()) {
    root->getBucket()->getGoodNodes(nodes);
  } else {
    DHTBucketTreeNode* leaf = findTreeNodeFor(root, key);
    DHTBucketTreeNode* up = leaf->getParent();
    collect(nodes, up, up->getLeft() == leaf);
    while (nodes.size() < DHT_BUCKET_SIZE && up->getParent()) {
      DHTBucketTreeNode* pa = up->getParent();
      const DHTBucketTreeNode* sibling = pa->getLeft() == up ? pa->getRight() : pa->getLeft();
      // Only the bucket holding the local id splits, so a sibling on the
      // way up is a leaf; collect() covers the general case anyway.
      collect(nodes, sibling, true);
      up = pa;
    }
  }
  if (nodes.size() > DHT_BUCKET_SIZE) {
    nodes.resize(DHT_BUCKET_SIZE);
  }
}

void enumerateBucket(std::vector<std::shared_ptr<DHTBucket>>& buckets,
                     const DHTBucketTreeNode* node) {
  if (node->leaf()) {
    buckets.push_back(node->getBucket());
    return;
  }
  enumerateBucket(buckets, node->getLeft());
  enumerateBucket(buckets, node->getRight());
}

}  // namespace dht
}  // namespace quarn

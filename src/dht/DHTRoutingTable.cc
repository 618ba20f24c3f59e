#include "dht/DHTRoutingTable.h"

#include "dht/DHTBucket.h"
#include "dht/DHTBucketTreeNode.h"
#include "dht/DHTNode.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

DHTRoutingTable::DHTRoutingTable(std::shared_ptr<DHTNode> localNode)
    : localNode_(std::move(localNode)),
      root_(std::make_unique<DHTBucketTreeNode>(std::make_shared<DHTBucket>(localNode_))) {}

DHTRoutingTable::~DHTRoutingTable() = default;

bool DHTRoutingTable::addNode(const std::shared_ptr<DHTNode>& node) {
  return addNode(node, false);
}

bool DHTRoutingTable::addGoodNode(const std::shared_ptr<DHTNode>& node) {
  return addNode(node, true);
}

bool DHTRoutingTable::addNode(const std::shared_ptr<DHTNode>& node, bool good) {
  QLOG_DEBUG(fmt("Trying to add node:%s", node->toString().c_str()));
  if (*localNode_ == *node) {
    QLOG_DEBUG("Adding node with the same ID with localnode is not allowed.");
    return false;
  }
  DHTBucketTreeNode* tnode = dht::findTreeNodeFor(root_.get(), node->getID());
  while (true) {
    const std::shared_ptr<DHTBucket>& bucket = tnode->getBucket();
    if (bucket->addNode(node)) {
      QLOG_DEBUG("Added DHTNode.");
      return true;
    }
    if (!bucket->splitAllowed()) {
      break;
    }
    QLOG_DEBUG(fmt("Splitting bucket. Range:%s-%s",
                   util::toHex(bucket->getMinID(), DHT_ID_LENGTH).c_str(),
                   util::toHex(bucket->getMaxID(), DHT_ID_LENGTH).c_str()));
    tnode->split();
    ++numBucket_;
    tnode = tnode->dig(node->getID());
  }
  if (good) {
    tnode->getBucket()->cacheNode(node);
    QLOG_DEBUG(fmt("Cached node=%s", node->toString().c_str()));
  }
  return false;
}

void DHTRoutingTable::getClosestKNodes(std::vector<std::shared_ptr<DHTNode>>& nodes,
                                       const unsigned char* key) const {
  dht::findClosestKNodes(nodes, root_.get(), key);
}

std::shared_ptr<DHTBucket> DHTRoutingTable::getBucketFor(const unsigned char* id) const {
  return dht::findBucketFor(root_.get(), id);
}

std::shared_ptr<DHTBucket> DHTRoutingTable::getBucketFor(
    const std::shared_ptr<DHTNode>& node) const {
  return getBucketFor(node->getID());
}

std::shared_ptr<DHTNode> DHTRoutingTable::getNode(const unsigned char* id,
                                                  const std::string& ipaddr, uint16_t port) const {
  return getBucketFor(id)->getNode(id, ipaddr, port);
}

void DHTRoutingTable::dropNode(const std::shared_ptr<DHTNode>& node) {
  getBucketFor(node)->dropNode(node);
}

void DHTRoutingTable::moveBucketTail(const std::shared_ptr<DHTNode>& node) {
  getBucketFor(node)->moveToTail(node);
}

void DHTRoutingTable::getBuckets(std::vector<std::shared_ptr<DHTBucket>>& buckets) const {
  dht::enumerateBucket(buckets, root_.get());
}

}  // namespace quarn

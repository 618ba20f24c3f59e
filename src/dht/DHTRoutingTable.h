#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DHTNode;
class DHTBucket;
class DHTBucketTreeNode;
class DHTTaskQueue;
class DHTTaskFactory;

// What one address family's DHT knows of other nodes: buckets around the
// local id that split as the neighbourhood of the local id fills up.
class DHTRoutingTable {
 public:
  explicit DHTRoutingTable(std::shared_ptr<DHTNode> localNode);
  ~DHTRoutingTable();

  // A node that was only reported by another node.
  bool addNode(const std::shared_ptr<DHTNode>& node);
  // A node that answered; when its bucket is full it goes to the cache.
  bool addGoodNode(const std::shared_ptr<DHTNode>& node);

  void getClosestKNodes(std::vector<std::shared_ptr<DHTNode>>& nodes,
                        const unsigned char* key) const;
  int getNumBucket() const { return numBucket_; }
  std::shared_ptr<DHTBucket> getBucketFor(const unsigned char* id) const;
  std::shared_ptr<DHTBucket> getBucketFor(const std::shared_ptr<DHTNode>& node) const;
  std::shared_ptr<DHTNode> getNode(const unsigned char* id, const std::string& ipaddr,
                                   uint16_t port) const;
  void dropNode(const std::shared_ptr<DHTNode>& node);
  void moveBucketTail(const std::shared_ptr<DHTNode>& node);
  // Every bucket in ascending id order.
  void getBuckets(std::vector<std::shared_ptr<DHTBucket>>& buckets) const;

  const std::shared_ptr<DHTNode>& getLocalNode() const { return localNode_; }
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setTaskFactory(DHTTaskFactory* taskFactory) { taskFactory_ = taskFactory; }

 private:
  bool addNode(const std::shared_ptr<DHTNode>& node, bool good);

  std::shared_ptr<DHTNode> localNode_;
  std::unique_ptr<DHTBucketTreeNode> root_;
  int numBucket_ = 1;
  DHTTaskQueue* taskQueue_ = nullptr;
  DHTTaskFactory* taskFactory_ = nullptr;
};

}  // namespace quarn

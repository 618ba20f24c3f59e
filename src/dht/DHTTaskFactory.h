#pragma once

#include <cstdint>
#include <memory>

namespace quarn {

class DHTBucket;
class DHTNode;
class DHTTask;
class DownloadContext;
class PeerStorage;

// Makes tasks fitted with the DHT objects they work through.
class DHTTaskFactory {
 public:
  virtual ~DHTTaskFactory() = default;
  virtual std::shared_ptr<DHTTask> createPingTask(const std::shared_ptr<DHTNode>& remoteNode,
                                                  int numMaxRetry) = 0;
  virtual std::shared_ptr<DHTTask> createNodeLookupTask(const unsigned char* targetID) = 0;
  virtual std::shared_ptr<DHTTask> createBucketRefreshTask() = 0;
  virtual std::shared_ptr<DHTTask> createPeerLookupTask(
      const std::shared_ptr<DownloadContext>& ctx, uint16_t tcpPort,
      const std::shared_ptr<PeerStorage>& peerStorage) = 0;
  virtual std::shared_ptr<DHTTask> createReplaceNodeTask(
      const std::shared_ptr<DHTBucket>& bucket, const std::shared_ptr<DHTNode>& newNode) = 0;
};

}  // namespace quarn

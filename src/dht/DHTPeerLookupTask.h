#pragma once

#include <map>
#include <memory>
#include <string>

#include "dht/DHTAbstractNodeLookupTask.h"
#include "dht/DHTGetPeersReplyMessage.h"

namespace quarn {

class DownloadContext;
class PeerStorage;

// Finds peers of a torrent with get_peers queries, hands them to the
// torrent's peer storage and at the end announces this process to the
// nearest nodes that gave a token.
class DHTPeerLookupTask : public DHTAbstractNodeLookupTask<DHTGetPeersReplyMessage> {
 public:
  DHTPeerLookupTask(const std::shared_ptr<DownloadContext>& downloadContext, uint16_t tcpPort);

  void setPeerStorage(std::shared_ptr<PeerStorage> peerStorage) {
    peerStorage_ = std::move(peerStorage);
  }

 protected:
  void getNodesFromMessage(std::vector<std::shared_ptr<DHTNode>>& nodes,
                           const DHTGetPeersReplyMessage* message) override;
  void onReceivedInternal(const DHTGetPeersReplyMessage* message) override;
  void onFinish() override;
  std::unique_ptr<DHTMessage> createMessage(const std::shared_ptr<DHTNode>& node) override;
  std::unique_ptr<DHTMessageCallback> createCallback() override;

 private:
  // Token by the hexadecimal id of the node that gave it.
  std::map<std::string, std::string> tokenStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  uint16_t tcpPort_;
};

}  // namespace quarn

#pragma once

#include <vector>

#include "dht/DHTConstants.h"
#include "dht/DHTQueryMessage.h"

namespace quarn {

class BtRegistry;
class DHTPeerAnnounceStorage;
class DHTTokenTracker;
class Peer;

class DHTGetPeersMessage : public DHTQueryMessage {
 public:
  DHTGetPeersMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
                     const unsigned char* infoHash, std::string transactionID = "");

  // Answers with a token, the peers known for the info hash and the
  // closest nodes.
  void doReceivedAction() override;
  std::unique_ptr<Dict> getArgument() const override;
  std::string getMessageType() const override { return "get_peers"; }
  std::string toStringOptional() const override;

  const unsigned char* getInfoHash() const { return infoHash_; }
  void setTokenTracker(DHTTokenTracker* tracker) { tokenTracker_ = tracker; }
  void setPeerAnnounceStorage(DHTPeerAnnounceStorage* storage) { storage_ = storage; }
  void setBtRegistry(BtRegistry* registry) { btRegistry_ = registry; }
  void setFamily(int family) { family_ = family; }

  // Lists this process as a peer of a torrent it downloads when the user
  // gave an external address of this DHT's family.
  void addLocalPeer(std::vector<std::shared_ptr<Peer>>& peers) const;

 private:
  unsigned char infoHash_[DHT_ID_LENGTH];
  DHTTokenTracker* tokenTracker_ = nullptr;
  DHTPeerAnnounceStorage* storage_ = nullptr;
  BtRegistry* btRegistry_ = nullptr;
  int family_;
};

}  // namespace quarn

#pragma once

#include "dht/DHTMessageFactory.h"

namespace quarn {

class BtRegistry;
class DHTAbstractMessage;
class DHTConnection;
class DHTMessageDispatcher;
class DHTPeerAnnounceStorage;
class DHTRoutingTable;
class DHTTokenTracker;

// The message factory of one address family's DHT. Received dictionaries are
// checked field by field; anything unusable is refused with DlAbortEx.
class DHTMessageFactoryImpl : public DHTMessageFactory {
 public:
  explicit DHTMessageFactoryImpl(int family);

  std::unique_ptr<DHTQueryMessage> createQueryMessage(const Dict& dict, const std::string& ipaddr,
                                                      uint16_t port) override;
  std::unique_ptr<DHTResponseMessage> createResponseMessage(const std::string& messageType,
                                                            const Dict& dict,
                                                            const std::string& ipaddr,
                                                            uint16_t port) override;
  std::unique_ptr<DHTQueryMessage> createPingMessage(const std::shared_ptr<DHTNode>& remoteNode,
                                                     const std::string& transactionID) override;
  std::unique_ptr<DHTResponseMessage> createPingReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* id,
      const std::string& transactionID) override;
  std::unique_ptr<DHTQueryMessage> createFindNodeMessage(const std::shared_ptr<DHTNode>& remoteNode,
                                                         const unsigned char* targetNodeID,
                                                         const std::string& transactionID) override;
  std::unique_ptr<DHTResponseMessage> createFindNodeReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes,
      const std::string& transactionID) override;
  std::unique_ptr<DHTQueryMessage> createGetPeersMessage(const std::shared_ptr<DHTNode>& remoteNode,
                                                         const unsigned char* infoHash,
                                                         const std::string& transactionID) override;
  std::unique_ptr<DHTResponseMessage> createGetPeersReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes, PeerList peers,
      const std::string& token, const std::string& transactionID) override;
  std::unique_ptr<DHTQueryMessage> createAnnouncePeerMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* infoHash, uint16_t tcpPort,
      const std::string& token, const std::string& transactionID) override;
  std::unique_ptr<DHTResponseMessage> createAnnouncePeerReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const std::string& transactionID) override;
  std::unique_ptr<DHTMessage> createUnknownMessage(const unsigned char* data, size_t length,
                                                   const std::string& ipaddr,
                                                   uint16_t port) override;

  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  void setConnection(DHTConnection* connection) { connection_ = connection; }
  void setMessageDispatcher(DHTMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setPeerAnnounceStorage(DHTPeerAnnounceStorage* storage) { storage_ = storage; }
  void setTokenTracker(DHTTokenTracker* tracker) { tokenTracker_ = tracker; }
  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }
  void setBtRegistry(BtRegistry* registry) { btRegistry_ = registry; }

 private:
  std::shared_ptr<DHTNode> getRemoteNode(const std::string& id, const std::string& ipaddr,
                                         uint16_t port) const;
  void setCommonProperty(DHTAbstractMessage& message);
  NodeList extractNodes(const Dict& rDict) const;
  PeerList extractPeers(const Dict& rDict) const;

  int family_;
  std::shared_ptr<DHTNode> localNode_;
  DHTRoutingTable* routingTable_ = nullptr;
  DHTConnection* connection_ = nullptr;
  DHTMessageDispatcher* dispatcher_ = nullptr;
  DHTPeerAnnounceStorage* storage_ = nullptr;
  DHTTokenTracker* tokenTracker_ = nullptr;
  BtRegistry* btRegistry_ = nullptr;
};

}  // namespace quarn

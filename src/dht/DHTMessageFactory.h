#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class Dict;
class DHTMessage;
class DHTNode;
class DHTQueryMessage;
class DHTResponseMessage;
class Peer;

// Where KRPC messages are made: decoded from received dictionaries, or
// built for sending, each fitted with what it needs to act and to send.
class DHTMessageFactory {
 public:
  using NodeList = std::vector<std::shared_ptr<DHTNode>>;
  using PeerList = std::vector<std::shared_ptr<Peer>>;

  virtual ~DHTMessageFactory() = default;

  // Both throw DlAbortEx for a dictionary that is not a usable message.
  virtual std::unique_ptr<DHTQueryMessage> createQueryMessage(const Dict& dict,
                                                              const std::string& ipaddr,
                                                              uint16_t port) = 0;
  // messageType is the method of the query the reply was matched to.
  virtual std::unique_ptr<DHTResponseMessage> createResponseMessage(const std::string& messageType,
                                                                    const Dict& dict,
                                                                    const std::string& ipaddr,
                                                                    uint16_t port) = 0;

  // An empty transaction id draws a fresh random one.
  virtual std::unique_ptr<DHTQueryMessage> createPingMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTResponseMessage> createPingReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* id,
      const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTQueryMessage> createFindNodeMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* targetNodeID,
      const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTResponseMessage> createFindNodeReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes,
      const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTQueryMessage> createGetPeersMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* infoHash,
      const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTResponseMessage> createGetPeersReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes, PeerList peers,
      const std::string& token, const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTQueryMessage> createAnnouncePeerMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* infoHash, uint16_t tcpPort,
      const std::string& token, const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTResponseMessage> createAnnouncePeerReplyMessage(
      const std::shared_ptr<DHTNode>& remoteNode, const std::string& transactionID) = 0;
  virtual std::unique_ptr<DHTMessage> createUnknownMessage(const unsigned char* data, size_t length,
                                                           const std::string& ipaddr,
                                                           uint16_t port) = 0;
};

}  // namespace quarn

#pragma once

#include <cstdint>

#include "dht/DHTConstants.h"
#include "dht/DHTQueryMessage.h"

namespace quarn {

class DHTPeerAnnounceStorage;
class DHTTokenTracker;

class DHTAnnouncePeerMessage : public DHTQueryMessage {
 public:
  DHTAnnouncePeerMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
                         const unsigned char* infoHash, uint16_t tcpPort, std::string token,
                         std::string transactionID = "");

  // Stores the sender's address with the announced port and answers.
  void doReceivedAction() override;
  // Throws DlAbortEx unless the token was given to the sender.
  void validate() const override;
  std::unique_ptr<Dict> getArgument() const override;
  std::string getMessageType() const override { return "announce_peer"; }
  std::string toStringOptional() const override;

  const unsigned char* getInfoHash() const { return infoHash_; }
  uint16_t getTCPPort() const { return tcpPort_; }
  const std::string& getToken() const { return token_; }
  void setPeerAnnounceStorage(DHTPeerAnnounceStorage* storage) { storage_ = storage; }
  void setTokenTracker(DHTTokenTracker* tracker) { tokenTracker_ = tracker; }

 private:
  unsigned char infoHash_[DHT_ID_LENGTH];
  uint16_t tcpPort_;
  std::string token_;
  DHTPeerAnnounceStorage* storage_ = nullptr;
  DHTTokenTracker* tokenTracker_ = nullptr;
};

}  // namespace quarn

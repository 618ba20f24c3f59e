#pragma once

#include "dht/DHTConstants.h"
#include "dht/DHTResponseMessage.h"

namespace quarn {

class DHTPingReplyMessage : public DHTResponseMessage {
 public:
  DHTPingReplyMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
                      const unsigned char* id, std::string transactionID);

  void doReceivedAction() override {}
  std::unique_ptr<Dict> getResponse() const override;
  std::string getMessageType() const override { return "ping"; }
  void accept(DHTMessageCallback* callback) override;

  const unsigned char* getRemoteID() const { return id_; }

 private:
  unsigned char id_[DHT_ID_LENGTH];
};

}  // namespace quarn

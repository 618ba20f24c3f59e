#pragma once

#include "dht/DHTConstants.h"
#include "dht/DHTQueryMessage.h"

namespace quarn {

class DHTFindNodeMessage : public DHTQueryMessage {
 public:
  DHTFindNodeMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
                     const unsigned char* targetNodeID, std::string transactionID = "");

  // Answers with the nodes this node knows closest to the target.
  void doReceivedAction() override;
  std::unique_ptr<Dict> getArgument() const override;
  std::string getMessageType() const override { return "find_node"; }
  std::string toStringOptional() const override;

  const unsigned char* getTargetNodeID() const { return targetNodeID_; }

 private:
  unsigned char targetNodeID_[DHT_ID_LENGTH];
};

}  // namespace quarn

#pragma once

#include <vector>

#include "dht/DHTResponseMessage.h"

namespace quarn {

class DHTFindNodeReplyMessage : public DHTResponseMessage {
 public:
  DHTFindNodeReplyMessage(int family, std::shared_ptr<DHTNode> localNode,
                          std::shared_ptr<DHTNode> remoteNode, std::string transactionID);

  // Adds the reported nodes to the routing table.
  void doReceivedAction() override;
  std::unique_ptr<Dict> getResponse() const override;
  std::string getMessageType() const override { return "find_node"; }
  void accept(DHTMessageCallback* callback) override;
  std::string toStringOptional() const override;

  const std::vector<std::shared_ptr<DHTNode>>& getClosestKNodes() const { return closestKNodes_; }
  void setClosestKNodes(std::vector<std::shared_ptr<DHTNode>> nodes) {
    closestKNodes_ = std::move(nodes);
  }

 private:
  int family_;
  std::vector<std::shared_ptr<DHTNode>> closestKNodes_;
};

}  // namespace quarn

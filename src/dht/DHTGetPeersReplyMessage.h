#pragma once

#include <vector>

#include "dht/DHTResponseMessage.h"

namespace quarn {

class Peer;

class DHTGetPeersReplyMessage : public DHTResponseMessage {
 public:
  DHTGetPeersReplyMessage(int family, std::shared_ptr<DHTNode> localNode,
                          std::shared_ptr<DHTNode> remoteNode, std::string token,
                          std::string transactionID);

  void doReceivedAction() override {}
  std::unique_ptr<Dict> getResponse() const override;
  std::string getMessageType() const override { return "get_peers"; }
  void accept(DHTMessageCallback* callback) override;
  std::string toStringOptional() const override;

  const std::string& getToken() const { return token_; }
  const std::vector<std::shared_ptr<DHTNode>>& getClosestKNodes() const { return closestKNodes_; }
  void setClosestKNodes(std::vector<std::shared_ptr<DHTNode>> nodes) {
    closestKNodes_ = std::move(nodes);
  }
  const std::vector<std::shared_ptr<Peer>>& getValues() const { return values_; }
  void setValues(std::vector<std::shared_ptr<Peer>> peers) { values_ = std::move(peers); }

 private:
  int family_;
  std::string token_;
  std::vector<std::shared_ptr<DHTNode>> closestKNodes_;
  std::vector<std::shared_ptr<Peer>> values_;
};

}  // namespace quarn

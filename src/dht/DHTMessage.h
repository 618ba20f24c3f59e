#pragma once

#include <memory>
#include <string>

namespace quarn {

class DHTNode;

// One KRPC message between this node and a remote one.
class DHTMessage {
 public:
  // An empty transactionID is replaced by 4 random bytes.
  DHTMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
             std::string transactionID);
  virtual ~DHTMessage();

  // What this node does on receiving the message.
  virtual void doReceivedAction() = 0;
  // False when the socket would block.
  virtual bool send() = 0;
  virtual bool isReply() const = 0;
  // Throws DlAbortEx when the received message must not be acted on.
  virtual void validate() const {}
  // The method name of the query (or of the query a reply answers).
  virtual std::string getMessageType() const = 0;
  virtual std::string toString() const = 0;

  const std::shared_ptr<DHTNode>& getLocalNode() const { return localNode_; }
  const std::shared_ptr<DHTNode>& getRemoteNode() const { return remoteNode_; }
  const std::string& getTransactionID() const { return transactionID_; }
  const std::string& getVersion() const { return version_; }
  void setVersion(std::string version) { version_ = std::move(version); }

 private:
  std::shared_ptr<DHTNode> localNode_;
  std::shared_ptr<DHTNode> remoteNode_;
  std::string transactionID_;
  std::string version_;
};

}  // namespace quarn

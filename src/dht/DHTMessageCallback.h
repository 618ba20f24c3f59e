#pragma once

#include <memory>

namespace quarn {

class DHTNode;
class DHTPingReplyMessage;
class DHTFindNodeReplyMessage;
class DHTGetPeersReplyMessage;
class DHTAnnouncePeerReplyMessage;

// Told of the reply to a query this node sent, or of its time-out.
class DHTMessageCallback {
 public:
  virtual ~DHTMessageCallback() = default;
  virtual void visit(const DHTPingReplyMessage* message) = 0;
  virtual void visit(const DHTFindNodeReplyMessage* message) = 0;
  virtual void visit(const DHTGetPeersReplyMessage* message) = 0;
  virtual void visit(const DHTAnnouncePeerReplyMessage* message) = 0;
  virtual void onTimeout(const std::shared_ptr<DHTNode>& remoteNode) = 0;
};

}  // namespace quarn

#pragma once

#include <memory>

#include "dht/DHTAnnouncePeerReplyMessage.h"
#include "dht/DHTFindNodeReplyMessage.h"
#include "dht/DHTGetPeersReplyMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTPingReplyMessage.h"

namespace quarn {

// Tells a task of the reply type it waits for; any other reply counts as a
// time-out of its sender.
template <typename Task, typename Reply>
class DHTTaskCallback : public DHTMessageCallback {
 public:
  explicit DHTTaskCallback(Task* task) : task_(task) {}

  void visit(const DHTPingReplyMessage* m) override { dispatch(m); }
  void visit(const DHTFindNodeReplyMessage* m) override { dispatch(m); }
  void visit(const DHTGetPeersReplyMessage* m) override { dispatch(m); }
  void visit(const DHTAnnouncePeerReplyMessage* m) override { dispatch(m); }
  void onTimeout(const std::shared_ptr<DHTNode>& node) override { task_->onTimeout(node); }

 private:
  template <typename M>
  void dispatch(const M* m) {
    if constexpr (std::is_same_v<M, Reply>) {
      task_->onReceived(m);
    } else {
      task_->onTimeout(m->getRemoteNode());
    }
  }

  Task* task_;
};

}  // namespace quarn

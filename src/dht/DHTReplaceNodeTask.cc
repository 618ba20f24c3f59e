#include "dht/DHTReplaceNodeTask.h"

#include "dht/DHTBucket.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTNode.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTTaskCallback.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"

namespace quarn {

DHTReplaceNodeTask::DHTReplaceNodeTask(std::shared_ptr<DHTBucket> bucket,
                                       std::shared_ptr<DHTNode> newNode)
    : bucket_(std::move(bucket)), newNode_(std::move(newNode)) {}

void DHTReplaceNodeTask::sendMessage() {
  std::shared_ptr<DHTNode> questionable = bucket_->getLRUQuestionableNode();
  if (!questionable) {
    setFinished(true);
    return;
  }
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createPingMessage(questionable, ""), timeout_,
      std::make_unique<DHTTaskCallback<DHTReplaceNodeTask, DHTPingReplyMessage>>(this));
}

void DHTReplaceNodeTask::onReceived(const DHTPingReplyMessage* message) {
  QLOG_INFO(fmt("ReplaceNode: Ping reply received from %s.",
                message->getRemoteNode()->toString().c_str()));
  setFinished(true);
}

void DHTReplaceNodeTask::onTimeout(const std::shared_ptr<DHTNode>& node) {
  ++numRetry_;
  if (numRetry_ == 1) {
    QLOG_INFO(
        fmt("ReplaceNode: Ping reply timeout from %s. Try once more.", node->toString().c_str()));
    sendMessage();
    return;
  }
  QLOG_INFO(fmt("ReplaceNode: Ping failed %d times. Replace %s with %s.", numRetry_,
                node->toString().c_str(), newNode_->toString().c_str()));
  node->markBad();
  bucket_->addNode(newNode_);
  setFinished(true);
}

}  // namespace quarn

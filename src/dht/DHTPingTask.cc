#include "dht/DHTPingTask.h"

#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTTaskCallback.h"

namespace quarn {

DHTPingTask::DHTPingTask(std::shared_ptr<DHTNode> remoteNode, int numMaxRetry)
    : remoteNode_(std::move(remoteNode)), numMaxRetry_(numMaxRetry) {}

void DHTPingTask::addMessage() {
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createPingMessage(remoteNode_, ""), timeout_,
      std::make_unique<DHTTaskCallback<DHTPingTask, DHTPingReplyMessage>>(this));
}

void DHTPingTask::onReceived(const DHTPingReplyMessage*) {
  pingSuccessful_ = true;
  setFinished(true);
}

void DHTPingTask::onTimeout(const std::shared_ptr<DHTNode>&) {
  ++numRetry_;
  if (numRetry_ < numMaxRetry_) {
    addMessage();
  } else {
    pingSuccessful_ = false;
    setFinished(true);
  }
}

}  // namespace quarn

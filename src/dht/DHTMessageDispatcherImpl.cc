#include "dht/DHTMessageDispatcherImpl.h"

#include "dht/DHTMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageTracker.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"

namespace quarn {

struct DHTMessageDispatcherImpl::Entry {
  std::unique_ptr<DHTMessage> message;
  std::chrono::seconds timeout;
  std::unique_ptr<DHTMessageCallback> callback;
};

DHTMessageDispatcherImpl::DHTMessageDispatcherImpl(std::shared_ptr<DHTMessageTracker> tracker)
    : tracker_(std::move(tracker)) {}

DHTMessageDispatcherImpl::~DHTMessageDispatcherImpl() = default;

void DHTMessageDispatcherImpl::addMessageToQueue(std::unique_ptr<DHTMessage> message,
                                                 std::chrono::seconds timeout,
                                                 std::unique_ptr<DHTMessageCallback> callback) {
  queue_.push_back(
      std::make_unique<Entry>(Entry{std::move(message), timeout, std::move(callback)}));
}

void DHTMessageDispatcherImpl::addMessageToQueue(std::unique_ptr<DHTMessage> message,
                                                 std::unique_ptr<DHTMessageCallback> callback) {
  addMessageToQueue(std::move(message), timeout_, std::move(callback));
}

bool DHTMessageDispatcherImpl::sendMessage(Entry& entry) {
  try {
    if (!entry.message->send()) {
      return false;
    }
    if (!entry.message->isReply()) {
      tracker_->addMessage(*entry.message, entry.timeout, std::move(entry.callback));
    }
    QLOG_INFO(fmt("Message sent: %s", entry.message->toString().c_str()));
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX(fmt("Failed to send message: %s", entry.message->toString().c_str()), e);
    // A query that never left times out at once, so its task hears of it.
    if (!entry.message->isReply()) {
      tracker_->addMessage(*entry.message, std::chrono::seconds(0), std::move(entry.callback));
    }
  }
  return true;
}

void DHTMessageDispatcherImpl::sendMessages() {
  while (!queue_.empty() && sendMessage(*queue_.front())) {
    queue_.pop_front();
  }
  QLOG_DEBUG(
      fmt("%lu dht messages remaining in the queue.", static_cast<unsigned long>(queue_.size())));
}

}  // namespace quarn

#include "dht/DHTMessageReceiver.h"

#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTNode.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "foundation/Dict.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"

namespace quarn {

DHTMessageReceiver::DHTMessageReceiver(std::shared_ptr<DHTMessageTracker> tracker)
    : tracker_(std::move(tracker)) {}

std::unique_ptr<DHTMessage> DHTMessageReceiver::receiveMessage(const std::string& ipaddr,
                                                               uint16_t port,
                                                               const unsigned char* data,
                                                               size_t length) {
  try {
    return receive(ipaddr, port, data, length);
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Exception thrown while receiving DHT message.", e);
    return handleUnknownMessage(data, length, ipaddr, port);
  }
}

std::unique_ptr<DHTMessage> DHTMessageReceiver::receive(const std::string& ipaddr, uint16_t port,
                                                        const unsigned char* data, size_t length) {
  auto decoded = bencode2::decode(data, length);
  const auto* dict = valueAs<Dict>(decoded);
  if (!dict) {
    QLOG_INFO(fmt("Malformed DHT message. This is not a bencoded directory. From:%s:%u",
                  ipaddr.c_str(), port));
    return handleUnknownMessage(data, length, ipaddr, port);
  }
  const auto* y = valueAs<String>(dict->get("y"));
  if (!y) {
    QLOG_INFO(fmt("Malformed DHT message. Missing 'y' key. From:%s:%u", ipaddr.c_str(), port));
    return handleUnknownMessage(data, length, ipaddr, port);
  }
  if (y->s() == "r" || y->s() == "e") {
    auto [reply, callback] = tracker_->messageArrived(*dict, ipaddr, port);
    if (!reply) {
      return handleUnknownMessage(data, length, ipaddr, port);
    }
    onMessageReceived(*reply);
    if (callback) {
      reply->accept(callback.get());
    }
    return std::move(reply);
  }
  auto query = factory_->createQueryMessage(*dict, ipaddr, port);
  if (*query->getLocalNode() == *query->getRemoteNode()) {
    QLOG_INFO("Received DHT message from localnode.");
    return handleUnknownMessage(data, length, ipaddr, port);
  }
  onMessageReceived(*query);
  return query;
}

void DHTMessageReceiver::onMessageReceived(DHTMessage& message) {
  QLOG_INFO(fmt("Message received: %s", message.toString().c_str()));
  message.validate();
  message.doReceivedAction();
  const auto& remote = message.getRemoteNode();
  remote->markGood();
  remote->updateLastContact();
  routingTable_->addGoodNode(remote);
}

std::unique_ptr<DHTMessage> DHTMessageReceiver::handleUnknownMessage(const unsigned char* data,
                                                                     size_t length,
                                                                     const std::string& ipaddr,
                                                                     uint16_t port) {
  auto message = factory_->createUnknownMessage(data, length, ipaddr, port);
  QLOG_INFO(fmt("Message received: %s", message->toString().c_str()));
  return message;
}

void DHTMessageReceiver::handleTimeout() {
  tracker_->handleTimeout();
}

}  // namespace quarn

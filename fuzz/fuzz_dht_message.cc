// Feeds arbitrary bytes to the DHT as one received datagram: decoded, made a
// query or a reply to each method through the factory, and acted on; then
// the whole datagram goes through the receiver while a query of each method
// waits for its reply. Whatever
// the factory accepts must encode to bytes that decode to the same message.
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConnection.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "foundation/Dict.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/RecoverableException.h"
#include "foundation/bencode2.h"

namespace {

using namespace quarn;

struct NullConnection : DHTConnection {
  ssize_t receiveMessage(unsigned char*, size_t, std::string&, uint16_t&) override { return 0; }
  ssize_t sendMessage(const unsigned char*, size_t length, const std::string&, uint16_t) override {
    return static_cast<ssize_t>(length);
  }
};

struct EncodingDispatcher : DHTMessageDispatcher {
  void addMessageToQueue(std::unique_ptr<DHTMessage> message, std::chrono::seconds,
                         std::unique_ptr<DHTMessageCallback>) override {
    message->send();
  }
  void addMessageToQueue(std::unique_ptr<DHTMessage> message,
                         std::unique_ptr<DHTMessageCallback> callback) override {
    addMessageToQueue(std::move(message), std::chrono::seconds(10), std::move(callback));
  }
  void sendMessages() override {}
  size_t countMessageInQueue() const override { return 0; }
};

struct Dht {
  explicit Dht(int family)
      : local(std::make_shared<DHTNode>()),
        table(local),
        factory(family),
        tracker(std::make_shared<DHTMessageTracker>()),
        receiver(tracker) {
    tracker->setRoutingTable(&table);
    tracker->setMessageFactory(&factory);
    receiver.setMessageFactory(&factory);
    receiver.setRoutingTable(&table);
    factory.setLocalNode(local);
    factory.setRoutingTable(&table);
    factory.setConnection(&connection);
    factory.setMessageDispatcher(&dispatcher);
    factory.setPeerAnnounceStorage(&storage);
    factory.setTokenTracker(&tokens);
  }
  std::shared_ptr<DHTNode> local;
  DHTRoutingTable table;
  NullConnection connection;
  EncodingDispatcher dispatcher;
  DHTPeerAnnounceStorage storage;
  DHTTokenTracker tokens;
  DHTMessageFactoryImpl factory;
  std::shared_ptr<DHTMessageTracker> tracker;
  DHTMessageReceiver receiver;
};

// Every datagram must come out of the receiver as a message, never as an
// exception; the queries left unanswered are timed out at once.
void receive(Dht& dht, const uint8_t* data, size_t size) {
  const unsigned char id[20] = {1};
  auto node = std::make_shared<DHTNode>(id);
  node->setIPAddress("192.0.2.1");
  node->setPort(6881);
  dht.tracker->addMessage(*dht.factory.createPingMessage(node, "tt"), std::chrono::seconds(0),
                          nullptr);
  dht.tracker->addMessage(*dht.factory.createFindNodeMessage(node, id, "tt"),
                          std::chrono::seconds(0), nullptr);
  dht.tracker->addMessage(*dht.factory.createGetPeersMessage(node, id, "tt"),
                          std::chrono::seconds(0), nullptr);
  dht.tracker->addMessage(*dht.factory.createAnnouncePeerMessage(node, id, 1, "k", "tt"),
                          std::chrono::seconds(0), nullptr);
  if (!dht.receiver.receiveMessage("192.0.2.1", 6881, data, size)) {
    abort();
  }
  dht.receiver.handleTimeout();
  if (dht.tracker->countEntry() != 0) {
    abort();
  }
}

// Encodes the message, decodes it again and checks the second encoding.
template <typename Decode>
void checkStable(const DHTAbstractMessage& message, Decode decode) {
  std::string bytes = message.getBencodedMessage();
  auto again = bencode2::decode(bytes);
  const auto* dict = valueAs<Dict>(again);
  if (!dict) {
    abort();
  }
  auto copy = decode(*dict);
  if (copy->getBencodedMessage() != bytes) {
    abort();
  }
}

void feed(Dht& dht, const Dict& dict) {
  const char* methods[] = {"ping", "find_node", "get_peers", "announce_peer"};
  for (const char* method : methods) {
    try {
      auto reply = dht.factory.createResponseMessage(method, dict, "192.0.2.1", 6881);
      checkStable(*reply, [&](const Dict& d) {
        return dht.factory.createResponseMessage(method, d, "192.0.2.1", 6881);
      });
      reply->doReceivedAction();
    } catch (const RecoverableException&) {
    }
  }
  try {
    auto query = dht.factory.createQueryMessage(dict, "192.0.2.1", 6881);
    checkStable(*query, [&](const Dict& d) {
      return dht.factory.createQueryMessage(d, "192.0.2.1", 6881);
    });
    query->validate();
    query->doReceivedAction();
  } catch (const RecoverableException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Dht v4(AF_INET);
  static Dht v6(AF_INET6);
  std::unique_ptr<ValueBase> value;
  try {
    value = bencode2::decode(data, size);
  } catch (const RecoverableException&) {
    value.reset();
  }
  if (const auto* dict = valueAs<Dict>(value)) {
    feed(v4, *dict);
    feed(v6, *dict);
  }
  receive(v4, data, size);
  receive(v6, data, size);
  return 0;
}

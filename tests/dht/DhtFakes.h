#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dht/DHTConnection.h"
#include "dht/DHTMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageDispatcherImpl.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFixture.h"
#include "foundation/Dict.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/bencode2.h"

namespace quarn::test {

// Hands out the queued incoming datagrams, one per call and all from
// 192.0.2.1:6881; keeps every datagram sent; can pretend the socket would
// block.
class RecordingConnection : public DHTConnection {
 public:
  ssize_t receiveMessage(unsigned char* data, size_t length, std::string& host,
                         uint16_t& port) override {
    if (incoming.empty()) {
      return 0;
    }
    std::string d = incoming.front();
    incoming.pop_front();
    size_t n = std::min(length, d.size());
    std::copy(d.begin(), d.begin() + n, data);
    host = "192.0.2.1";
    port = 6881;
    return static_cast<ssize_t>(n);
  }
  ssize_t sendMessage(const unsigned char* data, size_t length, const std::string& host,
                      uint16_t port) override {
    if (blocked) {
      return 0;
    }
    sent.push_back({std::string(reinterpret_cast<const char*>(data), length), host, port});
    return static_cast<ssize_t>(length);
  }

  struct Datagram {
    std::string bytes;
    std::string host;
    uint16_t port;
  };
  std::deque<std::string> incoming;
  std::vector<Datagram> sent;
  bool blocked = false;
};

// Keeps what was queued instead of sending it.
class RecordingDispatcher : public DHTMessageDispatcher {
 public:
  void addMessageToQueue(std::unique_ptr<DHTMessage> message, std::chrono::seconds,
                         std::unique_ptr<DHTMessageCallback>) override {
    queued.push_back(std::move(message));
  }
  void addMessageToQueue(std::unique_ptr<DHTMessage> message,
                         std::unique_ptr<DHTMessageCallback> callback) override {
    addMessageToQueue(std::move(message), std::chrono::seconds(10), std::move(callback));
  }
  void sendMessages() override {}
  size_t countMessageInQueue() const override { return queued.size(); }

  std::vector<std::unique_ptr<DHTMessage>> queued;
};

// Gives the factory every collaborator a message acts through.
inline void wireFactory(DHTMessageFactoryImpl& factory, const std::shared_ptr<DHTNode>& local,
                        DHTRoutingTable& table, DHTConnection& connection,
                        DHTMessageDispatcher& dispatcher, DHTPeerAnnounceStorage& storage,
                        DHTTokenTracker& tokens) {
  factory.setLocalNode(local);
  factory.setRoutingTable(&table);
  factory.setConnection(&connection);
  factory.setMessageDispatcher(&dispatcher);
  factory.setPeerAnnounceStorage(&storage);
  factory.setTokenTracker(&tokens);
}

// A factory of one family with every collaborator, for messages that act;
// what they queue stays in the recording dispatcher.
struct FakeDht {
  FakeDht(int family, const std::string& localId)
      : local(dhtNode(localId)), table(local), factory(family) {
    wireFactory(factory, local, table, connection, dispatcher, storage, tokens);
  }

  // The query or reply the bytes hold, as if sent from addr:port.
  std::unique_ptr<DHTQueryMessage> query(const std::string& bytes,
                                         const std::string& addr = "192.0.2.9",
                                         uint16_t port = 6881) {
    auto dict = bencode2::decode(bytes);
    return factory.createQueryMessage(*valueAs<Dict>(dict), addr, port);
  }
  std::unique_ptr<DHTResponseMessage> reply(const std::string& method, const std::string& bytes) {
    auto dict = bencode2::decode(bytes);
    return factory.createResponseMessage(method, *valueAs<Dict>(dict), "192.0.2.9", 6881);
  }

  std::shared_ptr<DHTNode> local;
  DHTRoutingTable table;
  RecordingConnection connection;
  RecordingDispatcher dispatcher;
  DHTPeerAnnounceStorage storage;
  DHTTokenTracker tokens;
  DHTMessageFactoryImpl factory;
};

// Records what a task would hear.
struct RecordingCallback : DHTMessageCallback {
  explicit RecordingCallback(std::vector<std::string>& log) : log(log) {}
  void visit(const DHTPingReplyMessage*) override { log.push_back("ping reply"); }
  void visit(const DHTFindNodeReplyMessage*) override { log.push_back("find_node reply"); }
  void visit(const DHTGetPeersReplyMessage*) override { log.push_back("get_peers reply"); }
  void visit(const DHTAnnouncePeerReplyMessage*) override { log.push_back("announce reply"); }
  void onTimeout(const std::shared_ptr<DHTNode>& node) override {
    log.push_back("timeout " + node->getIPAddress());
  }
  std::vector<std::string>& log;
};

// A whole IPv4 DHT with the real tracker, dispatcher and receiver on a
// recording connection.
struct LiveDht {
  explicit LiveDht(const std::string& localId)
      : local(dhtNode(localId)),
        table(local),
        ownedConnection(std::make_unique<RecordingConnection>()),
        connection(ownedConnection.get()),
        factory(AF_INET),
        tracker(std::make_shared<DHTMessageTracker>()),
        dispatcher(tracker),
        receiver(tracker) {
    wireFactory(factory, local, table, *connection, dispatcher, storage, tokens);
    tracker->setRoutingTable(&table);
    tracker->setMessageFactory(&factory);
    receiver.setMessageFactory(&factory);
    receiver.setRoutingTable(&table);
  }
  // Sends a ping to the node and returns its transaction id.
  std::string ping(const std::shared_ptr<DHTNode>& node) {
    auto q = factory.createPingMessage(node, "");
    std::string tid = q->getTransactionID();
    dispatcher.addMessageToQueue(std::move(q), std::make_unique<RecordingCallback>(log));
    dispatcher.sendMessages();
    return tid;
  }
  std::unique_ptr<DHTMessage> receive(const std::string& bytes, const std::string& addr,
                                      uint16_t port) {
    return receiver.receiveMessage(addr, port, uc(bytes), bytes.size());
  }

  std::shared_ptr<DHTNode> local;
  DHTRoutingTable table;
  std::unique_ptr<RecordingConnection> ownedConnection;
  RecordingConnection* connection;
  DHTPeerAnnounceStorage storage;
  DHTTokenTracker tokens;
  DHTMessageFactoryImpl factory;
  std::shared_ptr<DHTMessageTracker> tracker;
  DHTMessageDispatcherImpl dispatcher;
  DHTMessageReceiver receiver;
  std::vector<std::string> log;
};

}  // namespace quarn::test

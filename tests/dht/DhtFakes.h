#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConnection.h"
#include "dht/DHTMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"

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

}  // namespace quarn::test

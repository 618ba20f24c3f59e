#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConnection.h"
#include "dht/DHTMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"

namespace quarn::test {

// Keeps every datagram sent; can pretend the socket would block.
class RecordingConnection : public DHTConnection {
 public:
  ssize_t receiveMessage(unsigned char*, size_t, std::string&, uint16_t&) override { return 0; }
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

}  // namespace quarn::test

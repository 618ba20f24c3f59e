#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class DHTMessage;
class DHTMessageFactory;
class DHTMessageTracker;
class DHTRoutingTable;

// Turns a received datagram into a message that has acted: queries are
// answered, replies go to the task that waits for them. Nothing a datagram
// holds gets past it as an exception.
class DHTMessageReceiver {
 public:
  explicit DHTMessageReceiver(std::shared_ptr<DHTMessageTracker> tracker);

  // Never empty; an unknown message for anything that could not be used.
  std::unique_ptr<DHTMessage> receiveMessage(const std::string& ipaddr, uint16_t port,
                                             const unsigned char* data, size_t length);
  void handleTimeout();

  void setMessageFactory(DHTMessageFactory* factory) { factory_ = factory; }
  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  const std::shared_ptr<DHTMessageTracker>& getMessageTracker() const { return tracker_; }

 private:
  std::unique_ptr<DHTMessage> receive(const std::string& ipaddr, uint16_t port,
                                      const unsigned char* data, size_t length);
  void onMessageReceived(DHTMessage& message);
  std::unique_ptr<DHTMessage> handleUnknownMessage(const unsigned char* data, size_t length,
                                                   const std::string& ipaddr, uint16_t port);

  std::shared_ptr<DHTMessageTracker> tracker_;
  DHTMessageFactory* factory_ = nullptr;
  DHTRoutingTable* routingTable_ = nullptr;
};

}  // namespace quarn

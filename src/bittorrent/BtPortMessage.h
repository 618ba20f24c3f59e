#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "bittorrent/SimpleBtMessage.h"

namespace quarn {

class DHTPortReceiver;

// The UDP port of the sender's DHT node.
class BtPortMessage : public SimpleBtMessage {
 public:
  static constexpr uint8_t ID = 9;
  static constexpr const char* NAME = "port";
  explicit BtPortMessage(uint16_t port = 0) : SimpleBtMessage(ID, NAME), port_(port) {}
  static std::unique_ptr<BtPortMessage> create(std::span<const std::byte> payload);

  uint16_t getPort() const { return port_; }
  // None when the DHT of the connection's family does not run.
  void setDHTPortReceiver(DHTPortReceiver* receiver) { receiver_ = receiver; }

  void doReceivedAction() override;
  std::vector<unsigned char> createMessage() override;
  std::string toString() const override;

 private:
  uint16_t port_;
  DHTPortReceiver* receiver_ = nullptr;
};

}  // namespace quarn

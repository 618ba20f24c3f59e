#pragma once

#include "bittorrent/SimpleBtMessage.h"

namespace quarn {

// Four zero bytes that keep an idle connection open.
class BtKeepAliveMessage : public SimpleBtMessage {
 public:
  // Never on the wire: a keep-alive has no id byte.
  static constexpr uint8_t ID = 99;
  static constexpr const char* NAME = "keep alive";
  BtKeepAliveMessage() : SimpleBtMessage(ID, NAME) {}
  std::vector<unsigned char> createMessage() override { return std::vector<unsigned char>(4); }
  std::string toString() const override { return NAME; }
};

}  // namespace quarn

#pragma once

#include <cstdint>
#include <string>

#include "dht/DHTMessage.h"

namespace quarn {

// A datagram that could not be understood; kept for the log line.
class DHTUnknownMessage : public DHTMessage {
 public:
  DHTUnknownMessage(std::shared_ptr<DHTNode> localNode, const unsigned char* data, size_t length,
                    std::string ipaddr, uint16_t port);

  void doReceivedAction() override {}
  bool send() override { return true; }
  bool isReply() const override { return false; }
  std::string getMessageType() const override { return "unknown"; }
  std::string toString() const override;

 private:
  std::string data_;
  std::string ipaddr_;
  uint16_t port_;
};

}  // namespace quarn

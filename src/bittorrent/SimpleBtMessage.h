#pragma once

#include <memory>
#include <span>
#include <vector>

#include "bittorrent/AbstractBtMessage.h"
#include "net/ProgressUpdate.h"

namespace quarn {

// A message sent as one prepared buffer.
class SimpleBtMessage : public AbstractBtMessage {
 public:
  using AbstractBtMessage::AbstractBtMessage;

  void send() override;
  // The encoded bytes, length prefix included.
  virtual std::vector<unsigned char> createMessage() = 0;
  virtual std::unique_ptr<ProgressUpdate> getProgressUpdate() { return nullptr; }
  virtual bool sendPredicate() const { return true; }
};

// The bytes of a received payload (id byte first), as the decoders read them.
inline const unsigned char* payloadBytes(std::span<const std::byte> payload) {
  return reinterpret_cast<const unsigned char*>(payload.data());
}

}  // namespace quarn

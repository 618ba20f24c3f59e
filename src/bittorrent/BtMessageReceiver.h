#pragma once

#include <memory>

namespace quarn {

class BtHandshakeMessage;
class BtMessage;

// Hands the per-peer interaction the peer's handshake and then its
// messages, each complete and validated.
class BtMessageReceiver {
 public:
  virtual ~BtMessageReceiver() = default;
  // With quickReply, this side's handshake goes out as soon as the peer's
  // info hash has arrived. Null while the handshake is incomplete.
  virtual std::unique_ptr<BtHandshakeMessage> receiveHandshake(bool quickReply = false) = 0;
  virtual std::unique_ptr<BtHandshakeMessage> receiveAndSendHandshake() = 0;
  // Null when no complete message is buffered and the socket has no more.
  virtual std::unique_ptr<BtMessage> receiveMessage() = 0;
};

}  // namespace quarn

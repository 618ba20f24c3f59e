#pragma once

#include <cstddef>
#include <memory>

namespace quarn {

class BtHandshakeMessage;

// The protocol driver of one live peer connection, as its command runs it.
class BtInteractive {
 public:
  virtual ~BtInteractive() = default;
  virtual void initiateHandshake() = 0;
  virtual std::unique_ptr<BtHandshakeMessage> receiveHandshake(bool quickReply = false) = 0;
  virtual std::unique_ptr<BtHandshakeMessage> receiveAndSendHandshake() = 0;
  virtual void doPostHandshakeProcessing() = 0;
  virtual void doInteractionProcessing() = 0;
  virtual void cancelAllPiece() = 0;
  virtual void sendPendingMessage() = 0;
  virtual size_t countPendingMessage() = 0;
  virtual bool isSendingMessageInProgress() = 0;
  virtual size_t countReceivedMessageInIteration() const = 0;
  virtual size_t countOutstandingRequest() = 0;
};

}  // namespace quarn

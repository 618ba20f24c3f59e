#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn {

class BtMessage;
class BtHandshakeMessage;
class ExtensionMessage;
class Piece;

// Makes the messages of one peer connection wired to its collaborators:
// those decoded from what the peer sent and those this side sends.
class BtMessageFactory {
 public:
  virtual ~BtMessageFactory() = default;
  // payload starts at the message id; length 0 is a keep-alive.
  virtual std::unique_ptr<BtMessage> createBtMessage(const unsigned char* payload,
                                                     size_t length) = 0;
  virtual std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(const unsigned char* data,
                                                                     size_t length) = 0;
  virtual std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(
      const unsigned char* infoHash, const unsigned char* peerId) = 0;
  virtual std::unique_ptr<BtMessage> createRequestMessage(const std::shared_ptr<Piece>& piece,
                                                          size_t blockIndex) = 0;
  virtual std::unique_ptr<BtMessage> createCancelMessage(size_t index, int32_t begin,
                                                         int32_t length) = 0;
  virtual std::unique_ptr<BtMessage> createPieceMessage(size_t index, int32_t begin,
                                                        int32_t length) = 0;
  virtual std::unique_ptr<BtMessage> createHaveMessage(size_t index) = 0;
  virtual std::unique_ptr<BtMessage> createChokeMessage() = 0;
  virtual std::unique_ptr<BtMessage> createUnchokeMessage() = 0;
  virtual std::unique_ptr<BtMessage> createInterestedMessage() = 0;
  virtual std::unique_ptr<BtMessage> createNotInterestedMessage() = 0;
  virtual std::unique_ptr<BtMessage> createBitfieldMessage() = 0;
  virtual std::unique_ptr<BtMessage> createKeepAliveMessage() = 0;
  virtual std::unique_ptr<BtMessage> createHaveAllMessage() = 0;
  virtual std::unique_ptr<BtMessage> createHaveNoneMessage() = 0;
  virtual std::unique_ptr<BtMessage> createRejectMessage(size_t index, int32_t begin,
                                                         int32_t length) = 0;
  virtual std::unique_ptr<BtMessage> createAllowedFastMessage(size_t index) = 0;
  virtual std::unique_ptr<BtMessage> createPortMessage(uint16_t port) = 0;
  virtual std::unique_ptr<BtMessage> createBtExtendedMessage(
      std::unique_ptr<ExtensionMessage> extensionMessage) = 0;
};

}  // namespace quarn

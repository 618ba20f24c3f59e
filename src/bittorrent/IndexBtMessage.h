#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "bittorrent/SimpleBtMessage.h"
#include "bittorrent/wire_fields.h"

namespace quarn {

// A message naming one piece.
class IndexBtMessage : public SimpleBtMessage {
 public:
  IndexBtMessage(uint8_t id, const char* name, size_t index)
      : SimpleBtMessage(id, name), index_(index) {}

  size_t getIndex() const { return index_; }
  std::vector<unsigned char> createMessage() override;
  std::string toString() const override;

 protected:
  template <typename T>
  static std::unique_ptr<T> create(std::span<const std::byte> payload) {
    bittorrent::assertPayloadLengthEqual(5, payload.size(), T::NAME);
    bittorrent::assertID(T::ID, payloadBytes(payload), T::NAME);
    return std::make_unique<T>(bittorrent::getIntParam(payloadBytes(payload), 1));
  }

 private:
  size_t index_;
};

class BtHaveMessage : public IndexBtMessage {
 public:
  static constexpr uint8_t ID = 4;
  static constexpr const char* NAME = "have";
  explicit BtHaveMessage(size_t index = 0) : IndexBtMessage(ID, NAME, index) {}
  static std::unique_ptr<BtHaveMessage> create(std::span<const std::byte> payload) {
    return IndexBtMessage::create<BtHaveMessage>(payload);
  }
  void doReceivedAction() override;
};

// Received suggestions are not acted on.
class BtSuggestPieceMessage : public IndexBtMessage {
 public:
  static constexpr uint8_t ID = 13;
  static constexpr const char* NAME = "suggest piece";
  explicit BtSuggestPieceMessage(size_t index = 0) : IndexBtMessage(ID, NAME, index) {}
  static std::unique_ptr<BtSuggestPieceMessage> create(std::span<const std::byte> payload) {
    return IndexBtMessage::create<BtSuggestPieceMessage>(payload);
  }
};

class BtAllowedFastMessage : public IndexBtMessage {
 public:
  static constexpr uint8_t ID = 17;
  static constexpr const char* NAME = "allowed fast";
  explicit BtAllowedFastMessage(size_t index = 0) : IndexBtMessage(ID, NAME, index) {}
  static std::unique_ptr<BtAllowedFastMessage> create(std::span<const std::byte> payload) {
    return IndexBtMessage::create<BtAllowedFastMessage>(payload);
  }
  void doReceivedAction() override;
  // The grant takes effect once the whole message has been written.
  std::unique_ptr<ProgressUpdate> getProgressUpdate() override;
};

}  // namespace quarn

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "bittorrent/SimpleBtMessage.h"
#include "bittorrent/wire_fields.h"

namespace quarn {

// A message naming one block: piece index, offset in the piece and length.
// begin and length are kept as the peer sent them (signed) so that the
// validator can refuse negative values.
class RangeBtMessage : public SimpleBtMessage {
 public:
  RangeBtMessage(uint8_t id, const char* name, size_t index, int32_t begin, int32_t length)
      : SimpleBtMessage(id, name), index_(index), begin_(begin), length_(length) {}

  size_t getIndex() const { return index_; }
  int32_t getBegin() const { return begin_; }
  int32_t getLength() const { return length_; }
  std::vector<unsigned char> createMessage() override;
  std::string toString() const override;

 protected:
  template <typename T>
  static std::unique_ptr<T> create(std::span<const std::byte> payload) {
    bittorrent::assertPayloadLengthEqual(13, payload.size(), T::NAME);
    const unsigned char* p = payloadBytes(payload);
    bittorrent::assertID(T::ID, p, T::NAME);
    return std::make_unique<T>(bittorrent::getIntParam(p, 1),
                               static_cast<int32_t>(bittorrent::getIntParam(p, 5)),
                               static_cast<int32_t>(bittorrent::getIntParam(p, 9)));
  }

 private:
  size_t index_;
  int32_t begin_;
  int32_t length_;
};

class BtRequestMessage : public RangeBtMessage {
 public:
  static constexpr uint8_t ID = 6;
  static constexpr const char* NAME = "request";
  BtRequestMessage(size_t index = 0, int32_t begin = 0, int32_t length = 0, size_t blockIndex = 0)
      : RangeBtMessage(ID, NAME, index, begin, length), blockIndex_(blockIndex) {}
  static std::unique_ptr<BtRequestMessage> create(std::span<const std::byte> payload) {
    return RangeBtMessage::create<BtRequestMessage>(payload);
  }
  size_t getBlockIndex() const { return blockIndex_; }
  // Serves the block, rejects it (Fast extension) or drops the request.
  void doReceivedAction() override;
  // The request is outstanding from the moment it is queued.
  void onQueued() override;
  void onAbortOutstandingRequestEvent(const BtAbortOutstandingRequestEvent& event) override;

 private:
  size_t blockIndex_;
};

class BtCancelMessage : public RangeBtMessage {
 public:
  static constexpr uint8_t ID = 8;
  static constexpr const char* NAME = "cancel";
  BtCancelMessage(size_t index = 0, int32_t begin = 0, int32_t length = 0)
      : RangeBtMessage(ID, NAME, index, begin, length) {}
  static std::unique_ptr<BtCancelMessage> create(std::span<const std::byte> payload) {
    return RangeBtMessage::create<BtCancelMessage>(payload);
  }
  void doReceivedAction() override;
};

class BtRejectMessage : public RangeBtMessage {
 public:
  static constexpr uint8_t ID = 16;
  static constexpr const char* NAME = "reject";
  BtRejectMessage(size_t index = 0, int32_t begin = 0, int32_t length = 0)
      : RangeBtMessage(ID, NAME, index, begin, length) {}
  static std::unique_ptr<BtRejectMessage> create(std::span<const std::byte> payload) {
    return RangeBtMessage::create<BtRejectMessage>(payload);
  }
  void doReceivedAction() override;
};

}  // namespace quarn

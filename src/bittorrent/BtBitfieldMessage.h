#pragma once

#include <memory>
#include <span>
#include <vector>

#include "bittorrent/SimpleBtMessage.h"

namespace quarn {

// The pieces the sender has, first piece in the top bit of the first byte.
class BtBitfieldMessage : public SimpleBtMessage {
 public:
  static constexpr uint8_t ID = 5;
  static constexpr const char* NAME = "bitfield";
  BtBitfieldMessage() : SimpleBtMessage(ID, NAME) {}
  BtBitfieldMessage(const unsigned char* bitfield, size_t length);
  static std::unique_ptr<BtBitfieldMessage> create(std::span<const std::byte> payload);

  void setBitfield(const unsigned char* bitfield, size_t length);
  const unsigned char* getBitfield() const { return bitfield_.data(); }
  size_t getBitfieldLength() const { return bitfield_.size(); }

  void doReceivedAction() override;
  std::vector<unsigned char> createMessage() override;
  std::string toString() const override;

 private:
  std::vector<unsigned char> bitfield_;
};

}  // namespace quarn

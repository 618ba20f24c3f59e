#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "bittorrent/SimpleBtMessage.h"

namespace quarn {

// The 68 bytes that open a peer connection: protocol string, reserved
// (feature) bits, info hash and peer id.
class BtHandshakeMessage : public SimpleBtMessage {
 public:
  // Never on the wire: the handshake has no length prefix or id byte.
  static constexpr uint8_t ID = 127;
  static constexpr const char* NAME = "handshake";
  static constexpr size_t MESSAGE_LENGTH = 68;
  static constexpr size_t PSTR_LENGTH = 19;
  static constexpr const char* BT_PSTR = "BitTorrent protocol";

  BtHandshakeMessage();
  // This side's handshake: extended messaging and the Fast extension.
  BtHandshakeMessage(const unsigned char* infoHash, const unsigned char* peerId);
  // Exactly 68 bytes.
  static std::unique_ptr<BtHandshakeMessage> create(std::span<const std::byte> data);

  uint8_t getPstrlen() const { return pstrlen_; }
  const unsigned char* getPstr() const { return pstr_.data(); }
  const unsigned char* getReserved() const { return reserved_.data(); }
  const unsigned char* getInfoHash() const { return infoHash_.data(); }
  const unsigned char* getPeerId() const { return peerId_.data(); }
  void setInfoHash(const unsigned char* infoHash);
  void setPeerId(const unsigned char* peerId);
  void setDHTEnabled(bool enabled);

  bool isExtendedMessagingEnabled() const { return reserved_[5] & 0x10; }
  bool isFastExtensionSupported() const { return reserved_[7] & 0x04; }
  bool isDHTEnabled() const { return reserved_[7] & 0x01; }

  std::vector<unsigned char> createMessage() override;
  std::string toString() const override;

 private:
  uint8_t pstrlen_;
  std::array<unsigned char, PSTR_LENGTH> pstr_{};
  std::array<unsigned char, 8> reserved_{};
  std::array<unsigned char, 20> infoHash_{};
  std::array<unsigned char, 20> peerId_{};
};

}  // namespace quarn

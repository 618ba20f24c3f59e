#include "bittorrent/BtHandshakeMessage.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/wire_fields.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

BtHandshakeMessage::BtHandshakeMessage() : SimpleBtMessage(ID, NAME), pstrlen_(PSTR_LENGTH) {
  std::memcpy(pstr_.data(), BT_PSTR, PSTR_LENGTH);
  reserved_[5] |= 0x10;
  reserved_[7] |= 0x04;
}

BtHandshakeMessage::BtHandshakeMessage(const unsigned char* infoHash, const unsigned char* peerId)
    : BtHandshakeMessage() {
  setInfoHash(infoHash);
  setPeerId(peerId);
}

std::unique_ptr<BtHandshakeMessage> BtHandshakeMessage::create(std::span<const std::byte> data) {
  bittorrent::assertPayloadLengthEqual(MESSAGE_LENGTH, data.size(), NAME);
  const unsigned char* p = payloadBytes(data);
  auto msg = std::make_unique<BtHandshakeMessage>();
  msg->pstrlen_ = p[0];
  std::copy_n(p + 1, PSTR_LENGTH, msg->pstr_.begin());
  std::copy_n(p + 20, 8, msg->reserved_.begin());
  std::copy_n(p + 28, 20, msg->infoHash_.begin());
  std::copy_n(p + 48, 20, msg->peerId_.begin());
  return msg;
}

void BtHandshakeMessage::setInfoHash(const unsigned char* infoHash) {
  std::copy_n(infoHash, infoHash_.size(), infoHash_.begin());
}

void BtHandshakeMessage::setPeerId(const unsigned char* peerId) {
  std::copy_n(peerId, peerId_.size(), peerId_.begin());
}

void BtHandshakeMessage::setDHTEnabled(bool enabled) {
  if (enabled) {
    reserved_[7] |= 0x01;
  } else {
    reserved_[7] &= 0xfe;
  }
}

std::vector<unsigned char> BtHandshakeMessage::createMessage() {
  std::vector<unsigned char> msg(MESSAGE_LENGTH);
  msg[0] = pstrlen_;
  std::copy(pstr_.begin(), pstr_.end(), msg.begin() + 1);
  std::copy(reserved_.begin(), reserved_.end(), msg.begin() + 20);
  std::copy(infoHash_.begin(), infoHash_.end(), msg.begin() + 28);
  std::copy(peerId_.begin(), peerId_.end(), msg.begin() + 48);
  return msg;
}

std::string BtHandshakeMessage::toString() const {
  return fmt("%s peerId=%s, reserved=%s", NAME,
             util::percentEncode(peerId_.data(), peerId_.size()).c_str(),
             util::toHex(reserved_.data(), reserved_.size()).c_str());
}

}  // namespace quarn

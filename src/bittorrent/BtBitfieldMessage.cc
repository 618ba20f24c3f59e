#include "bittorrent/BtBitfieldMessage.h"

#include "bittorrent/Peer.h"
#include "bittorrent/wire_fields.h"
#include "foundation/util_string.h"
#include "storage/PieceStorage.h"

namespace quarn {

BtBitfieldMessage::BtBitfieldMessage(const unsigned char* bitfield, size_t length)
    : SimpleBtMessage(ID, NAME), bitfield_(bitfield, bitfield + length) {}

std::unique_ptr<BtBitfieldMessage> BtBitfieldMessage::create(std::span<const std::byte> payload) {
  bittorrent::assertPayloadLengthGreater(1, payload.size(), NAME);
  const unsigned char* p = payloadBytes(payload);
  bittorrent::assertID(ID, p, NAME);
  return std::make_unique<BtBitfieldMessage>(p + 1, payload.size() - 1);
}

void BtBitfieldMessage::setBitfield(const unsigned char* bitfield, size_t length) {
  bitfield_.assign(bitfield, bitfield + length);
}

void BtBitfieldMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  const auto& peer = getPeer();
  getPieceStorage()->updatePieceStats(bitfield_.data(), bitfield_.size(), peer->getBitfield());
  peer->setBitfield(bitfield_.data(), bitfield_.size());
  checkSeeder();
}

std::vector<unsigned char> BtBitfieldMessage::createMessage() {
  std::vector<unsigned char> msg(5 + bitfield_.size());
  bittorrent::createPeerMessageString(msg.data(), msg.size(), 1 + bitfield_.size(), ID);
  std::copy(bitfield_.begin(), bitfield_.end(), msg.begin() + 5);
  return msg;
}

std::string BtBitfieldMessage::toString() const {
  return std::string(NAME) + " " + util::toHex(bitfield_.data(), bitfield_.size());
}

}  // namespace quarn

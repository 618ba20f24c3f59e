#include "bittorrent/message_validators.h"

#include <cstring>

#include "bittorrent/BtBitfieldMessage.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/wire_fields.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

void IndexBtMessageValidator::validate() {
  bittorrent::checkIndex(message_->getIndex(), numPiece_);
}

void RangeBtMessageValidator::validate() {
  bittorrent::checkIndex(message_->getIndex(), numPiece_);
  bittorrent::checkBegin(message_->getBegin(), pieceLength_);
  bittorrent::checkLength(message_->getLength());
  bittorrent::checkRange(message_->getBegin(), message_->getLength(), pieceLength_);
}

void BtPieceMessageValidator::validate() {
  bittorrent::checkIndex(message_->getIndex(), numPiece_);
  bittorrent::checkBegin(message_->getBegin(), pieceLength_);
}

void BtBitfieldMessageValidator::validate() {
  bittorrent::checkBitfield(message_->getBitfield(), message_->getBitfieldLength(), numPiece_);
}

BtHandshakeMessageValidator::BtHandshakeMessageValidator(const BtHandshakeMessage* message,
                                                         const unsigned char* infoHash)
    : message_(message), infoHash_(reinterpret_cast<const char*>(infoHash), 20) {}

void BtHandshakeMessageValidator::validate() {
  if (message_->getPstrlen() != BtHandshakeMessage::PSTR_LENGTH) {
    throw DL_ABORT_EX(fmt("invalid handshake pstrlen=%u", message_->getPstrlen()));
  }
  if (std::memcmp(BtHandshakeMessage::BT_PSTR, message_->getPstr(),
                  BtHandshakeMessage::PSTR_LENGTH) != 0) {
    throw DL_ABORT_EX(
        fmt("invalid handshake pstr=%s",
            util::percentEncode(message_->getPstr(), BtHandshakeMessage::PSTR_LENGTH).c_str()));
  }
  if (std::memcmp(infoHash_.data(), message_->getInfoHash(), infoHash_.size()) != 0) {
    throw DL_ABORT_EX(fmt("invalid handshake info hash: expected:%s, actual:%s",
                          util::toHex(infoHash_).c_str(),
                          util::toHex(message_->getInfoHash(), infoHash_.size()).c_str()));
  }
}

}  // namespace quarn

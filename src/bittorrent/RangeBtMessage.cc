#include "bittorrent/RangeBtMessage.h"

#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/RequestSlot.h"
#include "foundation/fmt.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

std::vector<unsigned char> RangeBtMessage::createMessage() {
  std::vector<unsigned char> msg(17);
  bittorrent::createPeerMessageString(msg.data(), msg.size(), 13, getId());
  bittorrent::setIntParam(&msg[5], static_cast<uint32_t>(index_));
  bittorrent::setIntParam(&msg[9], static_cast<uint32_t>(begin_));
  bittorrent::setIntParam(&msg[13], static_cast<uint32_t>(length_));
  return msg;
}

std::string RangeBtMessage::toString() const {
  return fmt("%s index=%lu, begin=%d, length=%d", getName().c_str(),
             static_cast<unsigned long>(index_), begin_, length_);
}

void BtRequestMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  const auto& peer = getPeer();
  if (getPieceStorage()->hasPiece(getIndex()) &&
      (!peer->amChoking() || peer->isInAmAllowedIndexSet(getIndex()))) {
    getBtMessageDispatcher()->addMessageToQueue(
        getBtMessageFactory()->createPieceMessage(getIndex(), getBegin(), getLength()));
  } else if (peer->isFastExtensionEnabled()) {
    getBtMessageDispatcher()->addMessageToQueue(
        getBtMessageFactory()->createRejectMessage(getIndex(), getBegin(), getLength()));
  }
}

void BtRequestMessage::onQueued() {
  getBtMessageDispatcher()->addOutstandingRequest(std::make_unique<RequestSlot>(
      getIndex(), getBegin(), getLength(), blockIndex_, getPieceStorage()->getPiece(getIndex())));
}

void BtRequestMessage::onAbortOutstandingRequestEvent(const BtAbortOutstandingRequestEvent& event) {
  if (getIndex() == event.piece->getIndex()) {
    setInvalidate(true);
  }
}

void BtCancelMessage::doReceivedAction() {
  if (!isMetadataGetMode()) {
    getBtMessageDispatcher()->doCancelSendingPieceAction(getIndex(), getBegin(), getLength());
  }
}

void BtRejectMessage::doReceivedAction() {
  checkFastExtension("%s received while fast extension is disabled.");
  if (isMetadataGetMode()) {
    return;
  }
  if (const auto* slot =
          getBtMessageDispatcher()->getOutstandingRequest(getIndex(), getBegin(), getLength())) {
    getBtMessageDispatcher()->removeOutstandingRequest(slot);
  }
}

}  // namespace quarn

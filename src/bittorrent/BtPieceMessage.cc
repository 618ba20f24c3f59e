#include "bittorrent/BtPieceMessage.h"

#include <cassert>

#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/BtRequestFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/RequestSlot.h"
#include "bittorrent/SimpleBtMessage.h"
#include "bittorrent/wire_fields.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"
#include "net/ProgressUpdate.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

// Counts only the block bytes of a sent piece message as uploaded, never
// its header.
class PieceSendUpdate : public ProgressUpdate {
 public:
  PieceSendUpdate(DownloadContext* downloadContext, std::shared_ptr<Peer> peer)
      : downloadContext_(downloadContext), peer_(std::move(peer)) {}

  void update(size_t length, bool /*complete*/) override {
    const size_t header = std::min(headerLeft_, length);
    headerLeft_ -= header;
    length -= header;
    if (length > 0) {
      peer_->updateUploadLength(length);
      downloadContext_->updateUploadLength(length);
    }
  }

 private:
  DownloadContext* downloadContext_;
  std::shared_ptr<Peer> peer_;
  size_t headerLeft_ = BtPieceMessage::MESSAGE_HEADER_LENGTH;
};

}  // namespace

BtPieceMessage::BtPieceMessage(size_t index, int32_t begin, int32_t blockLength)
    : AbstractBtMessage(ID, NAME), index_(index), begin_(begin), blockLength_(blockLength) {
  setUploading(true);
}

std::unique_ptr<BtPieceMessage> BtPieceMessage::create(std::span<const std::byte> payload) {
  bittorrent::assertPayloadLengthGreater(9, payload.size(), NAME);
  const unsigned char* p = payloadBytes(payload);
  bittorrent::assertID(ID, p, NAME);
  return std::make_unique<BtPieceMessage>(bittorrent::getIntParam(p, 1),
                                          static_cast<int32_t>(bittorrent::getIntParam(p, 5)),
                                          static_cast<int32_t>(payload.size() - 9));
}

int64_t BtPieceMessage::globalOffset() const {
  return static_cast<int64_t>(index_) * downloadContext_->getPieceLength() + begin_;
}

void BtPieceMessage::createMessageHeader(unsigned char* buffer) const {
  bittorrent::createPeerMessageString(buffer, MESSAGE_HEADER_LENGTH, 9 + blockLength_, ID);
  bittorrent::setIntParam(&buffer[5], static_cast<uint32_t>(index_));
  bittorrent::setIntParam(&buffer[9], static_cast<uint32_t>(begin_));
}

void BtPieceMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  auto* dispatcher = getBtMessageDispatcher();
  const RequestSlot* slot = dispatcher->getOutstandingRequest(index_, begin_, blockLength_);
  getPeer()->updateDownload(blockLength_);
  downloadContext_->updateDownload(blockLength_);
  // Only a block this side asked for reaches the disk, so the offsets
  // written below are always those of an own request.
  if (!slot) {
    QLOG_DEBUG(fmt("CUID#%lld - RequestSlot not found, index=%lu, begin=%d",
                   static_cast<long long>(getCuid()), static_cast<unsigned long>(index_), begin_));
    return;
  }
  getPeer()->snubbing(false);
  auto piece = getPieceStorage()->getPiece(index_);
  const int64_t offset = globalOffset();
  QLOG_DEBUG(fmt(
      "CUID#%lld - Piece received. index=%lu, begin=%d, length=%d, offset=%lld, "
      "blockIndex=%lu",
      static_cast<long long>(getCuid()), static_cast<unsigned long>(index_), begin_, blockLength_,
      static_cast<long long>(offset), static_cast<unsigned long>(slot->getBlockIndex())));
  if (piece->hasBlock(slot->getBlockIndex())) {
    QLOG_DEBUG("Already have this block.");
    return;
  }
  storeBlock(piece, offset);
  piece->completeBlock(slot->getBlockIndex());
  QLOG_DEBUG(fmt("CUID#%lld - Piece bitfield %s", static_cast<long long>(getCuid()),
                 util::toHex(piece->getBitfield(), piece->getBitfieldLength()).c_str()));
  piece->updateHash(begin_, msgPayload_ + 9, blockLength_);
  dispatcher->removeOutstandingRequest(slot);
  if (!piece->pieceComplete()) {
    return;
  }
  if (checkPieceHash(piece)) {
    onNewPiece(piece);
  } else {
    onWrongPiece(piece);
    peerStorage_->addBadPeer(getPeer()->getIPAddress());
    throw DL_ABORT_EX("Bad piece hash.");
  }
}

void BtPieceMessage::storeBlock(const std::shared_ptr<Piece>& piece, int64_t offset) {
  const unsigned char* block = msgPayload_ + 9;
  const auto length = static_cast<size_t>(blockLength_);
  if (piece->getWrDiskCacheEntry()) {
    auto copy = std::make_unique<uint8_t[]>(length);
    std::copy(block, block + length, copy.get());
    piece->updateWrCache(getPieceStorage()->getWrDiskCache(), std::move(copy), 0, length, length,
                         offset);
  } else {
    getPieceStorage()->getDiskAdaptor()->writeData(block, length, offset);
  }
}

bool BtPieceMessage::checkPieceHash(const std::shared_ptr<Piece>& piece) {
  const std::string& expected = downloadContext_->getPieceHash(index_);
  if (!getPieceStorage()->isEndGame() && piece->isHashCalculated()) {
    QLOG_DEBUG(fmt("Hash is available!! index=%lu", static_cast<unsigned long>(index_)));
    return piece->getDigest() == expected;
  }
  QLOG_DEBUG(fmt("Calculating hash index=%lu", static_cast<unsigned long>(index_)));
  try {
    return piece->getDigestWithWrCache(downloadContext_->getPieceLength(),
                                       getPieceStorage()->getDiskAdaptor()) == expected;
  } catch (RecoverableException&) {
    piece->clearAllBlock(getPieceStorage()->getWrDiskCache());
    throw;
  }
}

void BtPieceMessage::onNewPiece(const std::shared_ptr<Piece>& piece) {
  if (piece->getWrDiskCacheEntry()) {
    auto* cache = getPieceStorage()->getWrDiskCache();
    piece->flushWrCache(cache);
    piece->throwIfWrCacheFailed(cache);
  }
  QLOG_INFO(fmt("CUID#%lld - we got new piece. index=%lu", static_cast<long long>(getCuid()),
                static_cast<unsigned long>(index_)));
  getPieceStorage()->completePiece(piece);
  getPieceStorage()->advertisePiece(getCuid(), index_, global::wallclock());
}

void BtPieceMessage::onWrongPiece(const std::shared_ptr<Piece>& piece) {
  QLOG_INFO(fmt("CUID#%lld - we got wrong piece. index=%lu", static_cast<long long>(getCuid()),
                static_cast<unsigned long>(index_)));
  piece->clearAllBlock(getPieceStorage()->getWrDiskCache());
  piece->destroyHashContext();
  getBtRequestFactory()->removeTargetPiece(piece);
}

void BtPieceMessage::send() {
  if (isInvalidate()) {
    return;
  }
  QLOG_INFO(fmt("CUID#%lld - To: %s:%d %s", static_cast<long long>(getCuid()),
                getPeer()->getIPAddress().c_str(), getPeer()->getPort(), toString().c_str()));
  assert(blockLength_ > 0 && blockLength_ <= bittorrent::MAX_BLOCK_LENGTH);
  const auto length = static_cast<size_t>(blockLength_);
  std::vector<unsigned char> msg(MESSAGE_HEADER_LENGTH + length);
  createMessageHeader(msg.data());
  const ssize_t read = getPieceStorage()->getDiskAdaptor()->readData(
      msg.data() + MESSAGE_HEADER_LENGTH, length, globalOffset());
  if (read < 0 || static_cast<size_t>(read) < length) {
    throw DL_ABORT_EX(_("Failed to read data from disk."));
  }
  getPeerConnection()->pushBytes(std::move(msg),
                                 std::make_unique<PieceSendUpdate>(downloadContext_, getPeer()));
  getPeer()->updateUploadSpeed(length);
  downloadContext_->updateUploadSpeed(length);
}

void BtPieceMessage::rejectQueued(const char* reason) {
  QLOG_DEBUG(
      fmt("CUID#%lld - Reject piece message in queue because %s. index=%lu, begin=%d, "
          "length=%d",
          static_cast<long long>(getCuid()), reason, static_cast<unsigned long>(index_), begin_,
          blockLength_));
  if (getPeer()->isFastExtensionEnabled()) {
    getBtMessageDispatcher()->addMessageToQueue(
        getBtMessageFactory()->createRejectMessage(index_, begin_, blockLength_));
  }
  setInvalidate(true);
}

void BtPieceMessage::onChokingEvent(const BtChokingEvent& /*event*/) {
  if (!isInvalidate() && !getPeer()->isInAmAllowedIndexSet(index_)) {
    rejectQueued("the peer has been choked");
  }
}

void BtPieceMessage::onCancelSendingPieceEvent(const BtCancelSendingPieceEvent& event) {
  if (!isInvalidate() && index_ == event.index && begin_ == event.begin &&
      blockLength_ == event.length) {
    rejectQueued("cancel message received");
  }
}

std::string BtPieceMessage::toString() const {
  return fmt("%s index=%lu, begin=%d, length=%d", NAME, static_cast<unsigned long>(index_), begin_,
             blockLength_);
}

}  // namespace quarn

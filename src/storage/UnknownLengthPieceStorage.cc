#include "storage/UnknownLengthPieceStorage.h"

#include "foundation/FatalException.h"
#include "storage/BitfieldMan.h"
#include "storage/DefaultDiskWriterFactory.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"

namespace quarn {

namespace {

[[noreturn]] void notImplemented() {
  throw FATAL_EXCEPTION("Not Implemented!");
}

}  // namespace

UnknownLengthPieceStorage::UnknownLengthPieceStorage(
    std::shared_ptr<DownloadContext> downloadContext)
    : downloadContext_(std::move(downloadContext)),
      diskWriterFactory_(std::make_shared<DefaultDiskWriterFactory>()),
      totalLength_(0),
      downloadFinished_(false) {}

UnknownLengthPieceStorage::~UnknownLengthPieceStorage() = default;

bool UnknownLengthPieceStorage::hasMissingPiece(const uint8_t*, size_t) {
  notImplemented();
}

void UnknownLengthPieceStorage::getMissingPiece(std::vector<std::shared_ptr<Piece>>&, size_t,
                                                const uint8_t*, size_t, int64_t) {
  notImplemented();
}

void UnknownLengthPieceStorage::getMissingPiece(std::vector<std::shared_ptr<Piece>>&, size_t,
                                                const uint8_t*, size_t, const std::vector<size_t>&,
                                                int64_t) {
  notImplemented();
}

void UnknownLengthPieceStorage::getMissingFastPiece(std::vector<std::shared_ptr<Piece>>&, size_t,
                                                    const uint8_t*, size_t,
                                                    const std::vector<size_t>&,
                                                    const std::vector<size_t>&, int64_t) {
  notImplemented();
}

bool UnknownLengthPieceStorage::hasMissingUnusedPiece() {
  notImplemented();
}

void UnknownLengthPieceStorage::markPieceMissing(size_t) {
  notImplemented();
}

int32_t UnknownLengthPieceStorage::getPieceLength(size_t) {
  notImplemented();
}

void UnknownLengthPieceStorage::markPiecesDone(int64_t) {
  notImplemented();
}

uint64_t UnknownLengthPieceStorage::getAdvertisedPieceIndexes(std::vector<size_t>&, int64_t,
                                                              uint64_t) {
  notImplemented();
}

void UnknownLengthPieceStorage::initStorage() {
  auto adaptor = std::make_shared<DirectDiskAdaptor>();
  adaptor->setTotalLength(downloadContext_->getTotalLength());
  const auto& entries = downloadContext_->getFileEntries();
  adaptor->setFileEntries(entries.begin(), entries.end());
  adaptor->setDiskWriter(diskWriterFactory_->newDiskWriter(adaptor->getFilePath()));
  diskAdaptor_ = adaptor;
}

std::shared_ptr<Piece> UnknownLengthPieceStorage::getMissingPiece(size_t, const uint8_t*, size_t,
                                                                  int64_t) {
  if (downloadFinished_ || piece_) {
    return nullptr;
  }
  piece_ = std::make_shared<Piece>();
  return piece_;
}

std::shared_ptr<Piece> UnknownLengthPieceStorage::getMissingPiece(size_t index, int64_t cuid) {
  if (index != 0) {
    return nullptr;
  }
  return getMissingPiece(0, nullptr, 0, cuid);
}

std::shared_ptr<Piece> UnknownLengthPieceStorage::getPiece(size_t index) {
  if (index != 0) {
    return nullptr;
  }
  return piece_ ? piece_ : std::make_shared<Piece>();
}

void UnknownLengthPieceStorage::completePiece(const std::shared_ptr<Piece>& piece) {
  if (!piece_ || !piece || piece_->getIndex() != piece->getIndex()) {
    return;
  }
  downloadFinished_ = true;
  totalLength_ = piece_->getLength();
  diskAdaptor_->setTotalLength(totalLength_);
  piece_.reset();
  createBitfield();
}

void UnknownLengthPieceStorage::cancelPiece(const std::shared_ptr<Piece>& piece, int64_t) {
  if (piece_ && piece && piece_->getIndex() == piece->getIndex()) {
    piece_.reset();
  }
}

bool UnknownLengthPieceStorage::hasPiece(size_t index) {
  return index == 0 && downloadFinished_;
}

bool UnknownLengthPieceStorage::isPieceUsed(size_t index) {
  return index == 0 && piece_ != nullptr;
}

int64_t UnknownLengthPieceStorage::getCompletedLength() {
  return piece_ ? piece_->getLength() : totalLength_;
}

const uint8_t* UnknownLengthPieceStorage::getBitfield() {
  return bitfield_ ? bitfield_->getBitfield() : nullptr;
}

size_t UnknownLengthPieceStorage::getBitfieldLength() {
  return bitfield_ ? bitfield_->getBitfieldLength() : 0;
}

std::shared_ptr<DiskAdaptor> UnknownLengthPieceStorage::getDiskAdaptor() {
  return diskAdaptor_;
}

void UnknownLengthPieceStorage::markAllPiecesDone() {
  if (piece_) {
    totalLength_ = piece_->getLength();
    piece_.reset();
  }
  createBitfield();
  downloadFinished_ = true;
}

void UnknownLengthPieceStorage::createBitfield() {
  if (totalLength_ > 0) {
    bitfield_ = std::make_unique<BitfieldMan>(downloadContext_->getPieceLength(), totalLength_);
    bitfield_->setAllBit();
  }
}

void UnknownLengthPieceStorage::setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory) {
  diskWriterFactory_ = std::move(factory);
}

}  // namespace quarn

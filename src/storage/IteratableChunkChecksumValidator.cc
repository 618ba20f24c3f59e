#include "storage/IteratableChunkChecksumValidator.h"

#include <algorithm>

#include "foundation/DlAbortEx.h"
#include "foundation/Logger.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "storage/BitfieldMan.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

constexpr size_t BUFSIZE = 4096;

}  // namespace

IteratableChunkChecksumValidator::IteratableChunkChecksumValidator(
    std::shared_ptr<DownloadContext> downloadContext, std::shared_ptr<PieceStorage> pieceStorage)
    : downloadContext_(std::move(downloadContext)),
      pieceStorage_(std::move(pieceStorage)),
      bitfield_(std::make_unique<BitfieldMan>(downloadContext_->getPieceLength(),
                                              downloadContext_->getTotalLength())),
      currentIndex_(0) {}

IteratableChunkChecksumValidator::~IteratableChunkChecksumValidator() = default;

void IteratableChunkChecksumValidator::init() {
  ctx_ = MessageDigest::create(downloadContext_->getPieceHashType());
  bitfield_->clearAllBit();
  currentIndex_ = 0;
}

void IteratableChunkChecksumValidator::validateChunk() {
  if (finished()) {
    return;
  }
  try {
    validatePiece();
  } catch (const RecoverableException& e) {
    QLOG_DEBUG_EX(fmt("Caught exception while validating piece index=%lu. Some part of file "
                      "may be missing. Continue operation.",
                      static_cast<unsigned long>(currentIndex_)),
                  e);
    bitfield_->unsetBit(currentIndex_);
  }
  ++currentIndex_;
  if (finished()) {
    pieceStorage_->setBitfield(bitfield_->getBitfield(), bitfield_->getBitfieldLength());
  }
}

void IteratableChunkChecksumValidator::validatePiece() {
  int64_t pieceLength = downloadContext_->getPieceLength();
  int64_t offset = static_cast<int64_t>(currentIndex_) * pieceLength;
  int64_t length = pieceLength;
  if (currentIndex_ + 1 == downloadContext_->getNumPieces()) {
    length = getTotalLength() - offset;
  }
  std::string actual = digest(offset, length);
  const std::string& expected = downloadContext_->getPieceHash(currentIndex_);
  if (actual == expected) {
    bitfield_->setBit(currentIndex_);
    return;
  }
  QLOG_INFO(
      fmt("Chunk checksum validation failed. checksumIndex=%lu, offset=%lld, "
          "expectedHash=%s, actualHash=%s",
          static_cast<unsigned long>(currentIndex_), static_cast<long long>(getCurrentOffset()),
          util::toHex(expected).c_str(), util::toHex(actual).c_str()));
  bitfield_->unsetBit(currentIndex_);
}

std::string IteratableChunkChecksumValidator::digest(int64_t offset, int64_t length) {
  unsigned char buf[BUFSIZE];
  ctx_->reset();
  int64_t end = offset + length;
  while (offset < end) {
    size_t len = static_cast<size_t>(std::min<int64_t>(BUFSIZE, end - offset));
    ssize_t n = pieceStorage_->getDiskAdaptor()->readDataDropCache(buf, len, offset);
    if (n <= 0) {
      throw DL_ABORT_EX(fmt(_("Failed to read from the file %s, cause: %s"),
                            downloadContext_->getBasePath().c_str(), "data is too short"));
    }
    ctx_->update(buf, n);
    offset += n;
  }
  return ctx_->digest();
}

bool IteratableChunkChecksumValidator::finished() const {
  return currentIndex_ >= downloadContext_->getNumPieces();
}

int64_t IteratableChunkChecksumValidator::getCurrentOffset() const {
  return static_cast<int64_t>(currentIndex_) * downloadContext_->getPieceLength();
}

int64_t IteratableChunkChecksumValidator::getTotalLength() const {
  return downloadContext_->getTotalLength();
}

}  // namespace quarn

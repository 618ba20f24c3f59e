#include "storage/IteratableChecksumValidator.h"

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

IteratableChecksumValidator::IteratableChecksumValidator(
    std::shared_ptr<DownloadContext> downloadContext, std::shared_ptr<PieceStorage> pieceStorage)
    : downloadContext_(std::move(downloadContext)),
      pieceStorage_(std::move(pieceStorage)),
      currentOffset_(0) {}

IteratableChecksumValidator::~IteratableChecksumValidator() = default;

void IteratableChecksumValidator::init() {
  currentOffset_ = 0;
  ctx_ = MessageDigest::create(downloadContext_->getHashType());
}

void IteratableChecksumValidator::validateChunk() {
  int64_t remaining = getTotalLength() - currentOffset_;
  if (remaining > 0) {
    unsigned char buf[BUFSIZE];
    // Bytes past the download's length (a file that is too long) are no part
    // of the digest.
    size_t len = static_cast<size_t>(std::min<int64_t>(BUFSIZE, remaining));
    ssize_t n = pieceStorage_->getDiskAdaptor()->readDataDropCache(buf, len, currentOffset_);
    if (n <= 0) {
      // The file ends before the download does; without this the check
      // would read the same offset for ever.
      throw DL_ABORT_EX(fmt(_("Failed to read from the file %s, cause: %s"),
                            downloadContext_->getBasePath().c_str(), "data is too short"));
    }
    ctx_->update(buf, n);
    currentOffset_ += n;
  }
  if (finished()) {
    compareDigest();
  }
}

void IteratableChecksumValidator::compareDigest() {
  std::string actual = ctx_->digest();
  if (actual == downloadContext_->getDigest()) {
    pieceStorage_->markAllPiecesDone();
    downloadContext_->setChecksumVerified(true);
    return;
  }
  QLOG_INFO(fmt("Checksum validation failed. expected=%s, actual=%s",
                util::toHex(downloadContext_->getDigest()).c_str(), util::toHex(actual).c_str()));
  BitfieldMan bitfield(downloadContext_->getPieceLength(), downloadContext_->getTotalLength());
  pieceStorage_->setBitfield(bitfield.getBitfield(), bitfield.getBitfieldLength());
}

bool IteratableChecksumValidator::finished() const {
  return currentOffset_ >= getTotalLength();
}

int64_t IteratableChecksumValidator::getTotalLength() const {
  return downloadContext_->getTotalLength();
}

}  // namespace quarn

#include "storage/Piece.h"

#include <algorithm>
#include <cassert>

#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/Logger.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/BitfieldMan.h"
#include "storage/DiskAdaptor.h"
#include "storage/WrDiskCache.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

Piece::Piece() : index_(0), length_(0), nextBegin_(0), usedBySegment_(false) {}

Piece::Piece(size_t index, int64_t length, int32_t blockLength)
    : bitfield_(std::make_unique<BitfieldMan>(blockLength, length)),
      index_(index),
      length_(length),
      nextBegin_(0),
      usedBySegment_(false) {}

Piece::~Piece() = default;

void Piece::completeBlock(size_t blockIndex) {
  bitfield_->setBit(blockIndex);
  bitfield_->unsetUseBit(blockIndex);
}

void Piece::cancelBlock(size_t blockIndex) {
  bitfield_->unsetUseBit(blockIndex);
}

void Piece::clearAllBlock(WrDiskCache* diskCache) {
  if (bitfield_) {
    bitfield_->clearAllBit();
    bitfield_->clearAllUseBit();
  }
  if (diskCache && wrCache_) {
    clearWrCache(diskCache);
  }
}

void Piece::setAllBlock() {
  bitfield_->setAllBit();
}

bool Piece::pieceComplete() const {
  return bitfield_->isAllBitSet();
}

size_t Piece::countBlock() const {
  return bitfield_ ? bitfield_->countBlock() : 0;
}

int32_t Piece::getBlockLength() const {
  return bitfield_ ? bitfield_->getBlockLength() : 0;
}

int32_t Piece::getBlockLength(size_t index) const {
  return bitfield_->getBlockLength(index);
}

const uint8_t* Piece::getBitfield() const {
  return bitfield_ ? bitfield_->getBitfield() : nullptr;
}

size_t Piece::getBitfieldLength() const {
  return bitfield_ ? bitfield_->getBitfieldLength() : 0;
}

void Piece::setBitfield(const uint8_t* bitfield, size_t length) {
  bitfield_->setBitfield(bitfield, length);
}

bool Piece::isBlockUsed(size_t index) const {
  return bitfield_->isUseBitSet(index);
}

bool Piece::hasBlock(size_t index) const {
  return bitfield_->isBitSet(index);
}

size_t Piece::countCompleteBlock() const {
  return bitfield_ ? bitfield_->countBlock() - bitfield_->countMissingBlock() : 0;
}

size_t Piece::countMissingBlock() const {
  return bitfield_ ? bitfield_->countMissingBlock() : 0;
}

int64_t Piece::getCompletedLength() const {
  return bitfield_ ? bitfield_->getCompletedLength() : 0;
}

bool Piece::getMissingUnusedBlockIndex(size_t& index) {
  if (bitfield_->getFirstMissingUnusedIndex(index)) {
    bitfield_->setUseBit(index);
    return true;
  }
  return false;
}

size_t Piece::getMissingUnusedBlockIndex(std::vector<size_t>& indexes, size_t n) {
  size_t before = indexes.size();
  size_t num = bitfield_->getFirstNMissingUnusedIndex(indexes, n);
  for (size_t i = before; i < indexes.size(); ++i) {
    bitfield_->setUseBit(indexes[i]);
  }
  return num;
}

bool Piece::getFirstMissingBlockIndexWithoutLock(size_t& index) const {
  return bitfield_->getFirstMissingIndex(index);
}

bool Piece::getAllMissingBlockIndexes(uint8_t* misbitfield, size_t mislen) const {
  return bitfield_->getAllMissingIndexes(misbitfield, mislen);
}

void Piece::reconfigure(int64_t length) {
  length_ = length;
  bitfield_ = std::make_unique<BitfieldMan>(INT32_MAX, length_);
}

void Piece::addUser(int64_t cuid) {
  if (std::find(users_.begin(), users_.end(), cuid) == users_.end()) {
    users_.push_back(cuid);
  }
}

void Piece::removeUser(int64_t cuid) {
  users_.erase(std::remove(users_.begin(), users_.end(), cuid), users_.end());
}

bool Piece::usedBy(int64_t cuid) const {
  return std::find(users_.begin(), users_.end(), cuid) != users_.end();
}

bool Piece::updateHash(int64_t begin, const uint8_t* data, size_t dataLength) {
  if (hashType_.empty() || begin != nextBegin_ ||
      begin + static_cast<int64_t>(dataLength) > length_) {
    return false;
  }
  if (!mdctx_) {
    mdctx_ = MessageDigest::create(hashType_);
  }
  mdctx_->update(data, dataLength);
  nextBegin_ += dataLength;
  return true;
}

bool Piece::isHashCalculated() const {
  return mdctx_ && nextBegin_ == length_;
}

std::string Piece::getDigest() {
  if (!mdctx_) {
    return std::string();
  }
  std::string d = mdctx_->digest();
  destroyHashContext();
  return d;
}

void Piece::destroyHashContext() {
  mdctx_.reset();
  nextBegin_ = 0;
}

namespace {

void updateHashWithRead(MessageDigest* mdctx, const std::shared_ptr<DiskAdaptor>& adaptor,
                        int64_t offset, size_t length) {
  uint8_t buf[4096];
  size_t rounds = length / sizeof(buf);
  size_t rem = length % sizeof(buf);
  auto readInto = [&](size_t n) {
    int64_t r = adaptor->readData(buf, n, offset);
    if (r != static_cast<int64_t>(n)) {
      throw DL_ABORT_EX(
          fmt(_("Failed to read from the file %s, cause: %s"), "n/a", "data is too short"));
    }
    mdctx->update(buf, n);
    offset += n;
  };
  for (size_t i = 0; i < rounds; ++i) {
    readInto(sizeof(buf));
  }
  if (rem) {
    readInto(rem);
  }
}

}  // namespace

std::string Piece::getDigestWithWrCache(int32_t pieceLength,
                                        const std::shared_ptr<DiskAdaptor>& adaptor) {
  auto mdctx = MessageDigest::create(hashType_);
  int64_t start = static_cast<int64_t>(index_) * pieceLength;
  int64_t goff = start;
  if (wrCache_) {
    for (const auto* cell : wrCache_->getDataSet()) {
      if (goff < cell->goff) {
        updateHashWithRead(mdctx.get(), adaptor, goff, cell->goff - goff);
      }
      mdctx->update(cell->data.get() + cell->offset, cell->len);
      goff = cell->goff + cell->len;
    }
    updateHashWithRead(mdctx.get(), adaptor, goff, start + length_ - goff);
  } else {
    updateHashWithRead(mdctx.get(), adaptor, goff, length_);
  }
  return mdctx->digest();
}

void Piece::initWrCache(WrDiskCache* diskCache, const std::shared_ptr<DiskAdaptor>& diskAdaptor) {
  if (!diskCache) {
    return;
  }
  assert(!wrCache_);
  wrCache_ = std::make_unique<WrDiskCacheEntry>(diskAdaptor);
  [[maybe_unused]] bool rv = diskCache->add(wrCache_.get());
  assert(rv);
}

bool Piece::updateWrCache(WrDiskCache* diskCache, std::unique_ptr<uint8_t[]> data, size_t offset,
                          size_t len, size_t capacity, int64_t goff) {
  if (!diskCache) {
    return false;
  }
  assert(wrCache_);
  QLOG_DEBUG(fmt("updateWrCache entry=%p", static_cast<void*>(wrCache_.get())));
  auto cell = std::make_unique<WrDiskCacheEntry::DataCell>(
      WrDiskCacheEntry::DataCell{goff, std::move(data), offset, len, capacity});
  if (!wrCache_->cacheData(std::move(cell))) {
    QLOG_DEBUG(fmt("Dropped a block cached twice at goff=%lld", static_cast<long long>(goff)));
    return false;
  }
  [[maybe_unused]] bool rv = diskCache->update(wrCache_.get(), len);
  assert(rv);
  return true;
}

size_t Piece::appendWrCache(WrDiskCache* diskCache, int64_t goff, const uint8_t* data, size_t len) {
  if (!diskCache) {
    return 0;
  }
  assert(wrCache_);
  size_t delta = wrCache_->append(goff, data, len);
  if (delta > 0) {
    [[maybe_unused]] bool rv = diskCache->update(wrCache_.get(), delta);
    assert(rv);
  }
  return delta;
}

void Piece::growWrCache(WrDiskCache* diskCache, size_t n) {
  assert(diskCache && wrCache_);
  wrCache_->grow(n);
  [[maybe_unused]] bool rv = diskCache->update(wrCache_.get(), static_cast<int64_t>(n));
  assert(rv);
}

bool Piece::uncountWrCache(WrDiskCache* diskCache) {
  if (!diskCache) {
    return false;
  }
  assert(wrCache_);
  int64_t size = wrCache_->getSize();
  diskCache->update(wrCache_.get(), -size);
  return true;
}

void Piece::flushWrCache(WrDiskCache* diskCache) {
  if (uncountWrCache(diskCache)) {
    wrCache_->writeToDisk();
  }
}

void Piece::clearWrCache(WrDiskCache* diskCache) {
  if (uncountWrCache(diskCache)) {
    wrCache_->clear();
  }
}

void Piece::releaseWrCache(WrDiskCache* diskCache) {
  if (diskCache && wrCache_) {
    diskCache->remove(wrCache_.get());
    wrCache_.reset();
  }
}

void Piece::throwIfWrCacheFailed(WrDiskCache* diskCache) {
  if (!wrCache_ || wrCache_->getError() == 0) {
    return;
  }
  clearAllBlock(diskCache);
  throw DOWNLOAD_FAILURE_EXCEPTION(
      fmt("Write disk cache flush failure index=%lu", static_cast<unsigned long>(index_)),
      wrCache_->getErrorCode());
}

std::string Piece::toString() const {
  return fmt("piece: index=%lu, length=%lld", static_cast<unsigned long>(index_),
             static_cast<long long>(length_));
}

}  // namespace quarn

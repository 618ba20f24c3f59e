#include "storage/PiecedSegment.h"

#include <cassert>

#include "storage/Piece.h"

namespace quarn {

PiecedSegment::PiecedSegment(int32_t pieceLength, std::shared_ptr<Piece> piece)
    : piece_(std::move(piece)), pieceLength_(pieceLength), writtenLength_(0) {
  size_t index;
  [[maybe_unused]] bool missing = piece_->getFirstMissingBlockIndexWithoutLock(index);
  assert(missing);
  writtenLength_ = static_cast<int64_t>(index) * piece_->getBlockLength();
}

bool PiecedSegment::complete() const {
  return piece_->pieceComplete();
}

size_t PiecedSegment::getIndex() const {
  return piece_->getIndex();
}

int64_t PiecedSegment::getPosition() const {
  return static_cast<int64_t>(piece_->getIndex()) * pieceLength_;
}

int64_t PiecedSegment::getLength() const {
  return piece_->getLength();
}

void PiecedSegment::updateWrittenLength(int64_t bytes) {
  int64_t newWrittenLength = writtenLength_ + bytes;
  assert(newWrittenLength <= piece_->getLength());
  int64_t blockLength = piece_->getBlockLength();
  for (int64_t i = writtenLength_ / blockLength, end = newWrittenLength / blockLength; i < end;
       ++i) {
    piece_->completeBlock(i);
  }
  if (newWrittenLength == piece_->getLength()) {
    piece_->completeBlock(piece_->countBlock() - 1);
  }
  writtenLength_ = newWrittenLength;
}

bool PiecedSegment::updateHash(int64_t begin, const uint8_t* data, size_t dataLength) {
  return piece_->updateHash(begin, data, dataLength);
}

bool PiecedSegment::isHashCalculated() const {
  return piece_->isHashCalculated();
}

std::string PiecedSegment::getDigest() {
  return piece_->getDigest();
}

void PiecedSegment::clear(WrDiskCache* diskCache) {
  writtenLength_ = 0;
  piece_->clearAllBlock(diskCache);
  piece_->destroyHashContext();
}

}  // namespace quarn

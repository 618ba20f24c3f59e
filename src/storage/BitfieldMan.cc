#include "storage/BitfieldMan.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>

#include "storage/bitfield.h"

namespace quarn {

namespace {

uint8_t* newZeroed(size_t length) {
  auto* p = new uint8_t[length];
  std::memset(p, 0, length);
  return p;
}

uint8_t* duplicate(const uint8_t* src, size_t length) {
  auto* p = new uint8_t[length];
  std::memcpy(p, src, length);
  return p;
}

}  // namespace

BitfieldMan::BitfieldMan(int32_t blockLength, int64_t totalLength)
    : totalLength_(totalLength),
      cachedCompletedLength_(0),
      cachedFilteredCompletedLength_(0),
      cachedFilteredTotalLength_(0),
      bitfield_(nullptr),
      useBitfield_(nullptr),
      filterBitfield_(nullptr),
      bitfieldLength_(0),
      cachedNumMissingBlock_(0),
      cachedNumFilteredBlock_(0),
      blocks_(0),
      blockLength_(blockLength),
      filterEnabled_(false) {
  if (blockLength_ > 0 && totalLength_ > 0) {
    blocks_ = (totalLength_ + blockLength_ - 1) / blockLength_;
    bitfieldLength_ = (blocks_ + 7) / 8;
    bitfield_ = newZeroed(bitfieldLength_);
    useBitfield_ = newZeroed(bitfieldLength_);
    updateCache();
  }
}

BitfieldMan::BitfieldMan(const BitfieldMan& other)
    : bitfield_(nullptr), useBitfield_(nullptr), filterBitfield_(nullptr) {
  copyFrom(other);
}

BitfieldMan& BitfieldMan::operator=(const BitfieldMan& other) {
  if (this != &other) {
    freeArrays();
    copyFrom(other);
  }
  return *this;
}

BitfieldMan::~BitfieldMan() {
  freeArrays();
}

void BitfieldMan::copyFrom(const BitfieldMan& other) {
  totalLength_ = other.totalLength_;
  blockLength_ = other.blockLength_;
  blocks_ = other.blocks_;
  bitfieldLength_ = other.bitfieldLength_;
  filterEnabled_ = other.filterEnabled_;
  cachedCompletedLength_ = cachedFilteredCompletedLength_ = cachedFilteredTotalLength_ = 0;
  cachedNumMissingBlock_ = cachedNumFilteredBlock_ = 0;
  bitfield_ = other.bitfield_ ? duplicate(other.bitfield_, bitfieldLength_) : nullptr;
  useBitfield_ = other.useBitfield_ ? duplicate(other.useBitfield_, bitfieldLength_) : nullptr;
  filterBitfield_ = other.filterEnabled_ && other.filterBitfield_
                        ? duplicate(other.filterBitfield_, bitfieldLength_)
                        : nullptr;
  if (filterEnabled_ && !filterBitfield_ && bitfieldLength_ > 0) {
    filterBitfield_ = newZeroed(bitfieldLength_);
  }
  updateCache();
}

void BitfieldMan::freeArrays() {
  delete[] bitfield_;
  delete[] useBitfield_;
  delete[] filterBitfield_;
  bitfield_ = useBitfield_ = filterBitfield_ = nullptr;
}

int32_t BitfieldMan::getBlockLength(size_t index) const {
  if (index >= blocks_) {
    return 0;
  }
  return index + 1 == blocks_ ? getLastBlockLength() : blockLength_;
}

int32_t BitfieldMan::getLastBlockLength() const {
  if (blocks_ == 0) {
    return 0;
  }
  return static_cast<int32_t>(totalLength_ - static_cast<int64_t>(blockLength_) * (blocks_ - 1));
}

bool BitfieldMan::setBitInternal(uint8_t* bitfield, size_t index, bool on) {
  if (index >= blocks_ || !bitfield) {
    return false;
  }
  uint8_t mask = 0x80 >> (index % 8);
  if (on) {
    bitfield[index / 8] |= mask;
  } else {
    bitfield[index / 8] &= ~mask;
  }
  return true;
}

bool BitfieldMan::setBit(size_t index) {
  bool rv = setBitInternal(bitfield_, index, true);
  updateCache();
  return rv;
}

bool BitfieldMan::unsetBit(size_t index) {
  bool rv = setBitInternal(bitfield_, index, false);
  updateCache();
  return rv;
}

bool BitfieldMan::setUseBit(size_t index) {
  return setBitInternal(useBitfield_, index, true);
}

bool BitfieldMan::unsetUseBit(size_t index) {
  return setBitInternal(useBitfield_, index, false);
}

bool BitfieldMan::setFilterBit(size_t index) {
  return setBitInternal(filterBitfield_, index, true);
}

bool BitfieldMan::setBitRange(size_t startIndex, size_t endIndex) {
  for (size_t i = startIndex; i <= endIndex; ++i) {
    setBit(i);
  }
  updateCache();
  return true;
}

bool BitfieldMan::unsetBitRange(size_t startIndex, size_t endIndex) {
  for (size_t i = startIndex; i <= endIndex; ++i) {
    unsetBit(i);
  }
  updateCache();
  return true;
}

void BitfieldMan::setBitfield(const uint8_t* bitfield, size_t length) {
  if (length != bitfieldLength_ || length == 0) {
    return;
  }
  std::memcpy(bitfield_, bitfield, length);
  std::memset(useBitfield_, 0, length);
  updateCache();
}

void BitfieldMan::clearAllBit() {
  if (bitfield_) {
    std::memset(bitfield_, 0, bitfieldLength_);
  }
  updateCache();
}

void BitfieldMan::setAllBit() {
  for (size_t i = 0; i < blocks_; ++i) {
    setBitInternal(bitfield_, i, true);
  }
  updateCache();
}

void BitfieldMan::clearAllUseBit() {
  if (useBitfield_) {
    std::memset(useBitfield_, 0, bitfieldLength_);
  }
  updateCache();
}

void BitfieldMan::setAllUseBit() {
  if (useBitfield_) {
    std::memset(useBitfield_, 0xff, bitfieldLength_);
  }
}

bool BitfieldMan::isBitSet(size_t index) const {
  return bitfield::test(bitfield_, blocks_, index);
}

bool BitfieldMan::isUseBitSet(size_t index) const {
  return bitfield::test(useBitfield_, blocks_, index);
}

bool BitfieldMan::isFilterBitSet(size_t index) const {
  return filterBitfield_ && bitfield::test(filterBitfield_, blocks_, index);
}

namespace {

bool allSet(const uint8_t* bits, size_t length, size_t blocks) {
  if (length == 0) {
    return true;
  }
  for (size_t i = 0; i + 1 < length; ++i) {
    if (bits[i] != 0xff) {
      return false;
    }
  }
  return bits[length - 1] == bitfield::lastByteMask(blocks);
}

}  // namespace

bool BitfieldMan::isAllBitSet() const {
  return allSet(bitfield_, bitfieldLength_, blocks_);
}

bool BitfieldMan::isFilteredAllBitSet() const {
  if (!filterEnabled_) {
    return isAllBitSet();
  }
  for (size_t i = 0; i < bitfieldLength_; ++i) {
    if ((~bitfield_[i] & filterBitfield_[i]) != 0) {
      return false;
    }
  }
  return true;
}

bool BitfieldMan::isAllFilterBitSet() const {
  return filterBitfield_ && allSet(filterBitfield_, bitfieldLength_, blocks_);
}

bool BitfieldMan::isBitRangeSet(size_t startIndex, size_t endIndex) const {
  for (size_t i = startIndex; i <= endIndex; ++i) {
    if (!isBitSet(i)) {
      return false;
    }
  }
  return true;
}

bool BitfieldMan::isBitSetOffsetRange(int64_t offset, int64_t length) const {
  // Without blocks the block length may be 0: nothing to divide by.
  if (blocks_ == 0 || length <= 0 || offset >= totalLength_) {
    return false;
  }
  length = std::min(length, totalLength_ - offset);
  size_t first = offset / blockLength_;
  size_t last = (offset + length - 1) / blockLength_;
  for (size_t i = first; i <= last; ++i) {
    if (!isBitSet(i)) {
      return false;
    }
  }
  return true;
}

bool BitfieldMan::hasMissingPiece(const uint8_t* peerBitfield, size_t peerLength) const {
  if (peerLength != bitfieldLength_ || peerLength == 0) {
    return false;
  }
  for (size_t i = 0; i < bitfieldLength_; ++i) {
    uint8_t b = peerBitfield[i] & ~bitfield_[i];
    if (filterEnabled_) {
      b &= filterBitfield_[i];
    }
    if (i + 1 == bitfieldLength_) {
      b &= bitfield::lastByteMask(blocks_);
    }
    if (b) {
      return true;
    }
  }
  return false;
}

int64_t BitfieldMan::getOffsetCompletedLength(int64_t offset, int64_t length) const {
  if (blocks_ == 0 || length <= 0 || offset >= totalLength_) {
    return 0;
  }
  length = std::min(length, totalLength_ - offset);
  size_t s = offset / blockLength_;
  size_t e = (offset + length - 1) / blockLength_;
  if (s == e) {
    return isBitSet(s) ? length : 0;
  }
  int64_t res = 0;
  if (isBitSet(s)) {
    res += static_cast<int64_t>(s + 1) * blockLength_ - offset;
  }
  for (size_t i = s + 1; i < e; ++i) {
    if (isBitSet(i)) {
      res += blockLength_;
    }
  }
  if (isBitSet(e)) {
    res += offset + length - static_cast<int64_t>(e) * blockLength_;
  }
  return res;
}

int64_t BitfieldMan::getMissingUnusedLength(size_t startIndex) const {
  int64_t length = 0;
  for (size_t i = startIndex; i < blocks_; ++i) {
    if (isBitSet(i) || isUseBitSet(i)) {
      break;
    }
    length += getBlockLength(i);
  }
  return length;
}

int64_t BitfieldMan::lengthOfCount(size_t count, bool lastCounted) const {
  if (count == 0) {
    return 0;
  }
  if (lastCounted) {
    return static_cast<int64_t>(count - 1) * blockLength_ + getLastBlockLength();
  }
  return static_cast<int64_t>(count) * blockLength_;
}

int64_t BitfieldMan::getCompletedLength(bool useFilter) const {
  if (blocks_ == 0) {
    return 0;
  }
  size_t count;
  bool lastCounted;
  if (useFilter && filterEnabled_) {
    expr::Array have(bitfield_), filter(filterBitfield_);
    count = bitfield::countSetBitSlow(have & filter, blocks_);
    lastCounted = isBitSet(blocks_ - 1) && isFilterBitSet(blocks_ - 1);
  } else {
    count = bitfield::countSetBit(bitfield_, blocks_);
    lastCounted = isBitSet(blocks_ - 1);
  }
  return lengthOfCount(count, lastCounted);
}

int64_t BitfieldMan::getFilteredTotalLengthNow() const {
  if (!filterBitfield_) {
    return 0;
  }
  size_t count = bitfield::countSetBit(filterBitfield_, blocks_);
  return lengthOfCount(count, count > 0 && isFilterBitSet(blocks_ - 1));
}

size_t BitfieldMan::countMissingBlockNow() const {
  if (filterEnabled_) {
    expr::Array have(bitfield_), filter(filterBitfield_);
    return bitfield::countSetBit(filterBitfield_, blocks_) -
           bitfield::countSetBitSlow(have & filter, blocks_);
  }
  return blocks_ - bitfield::countSetBit(bitfield_, blocks_);
}

size_t BitfieldMan::countFilteredBlockNow() const {
  return filterEnabled_ ? bitfield::countSetBit(filterBitfield_, blocks_) : 0;
}

void BitfieldMan::updateCache() {
  cachedNumMissingBlock_ = countMissingBlockNow();
  cachedNumFilteredBlock_ = countFilteredBlockNow();
  cachedFilteredTotalLength_ = getFilteredTotalLengthNow();
  cachedCompletedLength_ = getCompletedLength(false);
  cachedFilteredCompletedLength_ = getCompletedLength(true);
}

void BitfieldMan::ensureFilterBitfield() {
  if (!filterBitfield_ && bitfieldLength_ > 0) {
    filterBitfield_ = newZeroed(bitfieldLength_);
  }
}

void BitfieldMan::setFilterRange(int64_t offset, int64_t length, bool on) {
  ensureFilterBitfield();
  if (length > 0 && blocks_ > 0) {
    size_t start = offset / blockLength_;
    size_t end = (offset + length - 1) / blockLength_;
    for (size_t i = start; i <= end && i < blocks_; ++i) {
      setBitInternal(filterBitfield_, i, on);
    }
  }
  updateCache();
}

void BitfieldMan::addFilter(int64_t offset, int64_t length) {
  setFilterRange(offset, length, true);
}

void BitfieldMan::removeFilter(int64_t offset, int64_t length) {
  setFilterRange(offset, length, false);
}

void BitfieldMan::addNotFilter(int64_t offset, int64_t length) {
  ensureFilterBitfield();
  if (length > 0 && blocks_ > 0) {
    size_t start = std::min(static_cast<size_t>(offset / blockLength_), blocks_);
    for (size_t i = 0; i < start; ++i) {
      setBitInternal(filterBitfield_, i, true);
    }
    size_t end = (offset + length - 1) / blockLength_;
    for (size_t i = end + 1; i < blocks_; ++i) {
      setBitInternal(filterBitfield_, i, true);
    }
  }
  updateCache();
}

void BitfieldMan::enableFilter() {
  ensureFilterBitfield();
  filterEnabled_ = true;
  updateCache();
}

void BitfieldMan::disableFilter() {
  filterEnabled_ = false;
  updateCache();
}

void BitfieldMan::clearFilter() {
  delete[] filterBitfield_;
  filterBitfield_ = nullptr;
  filterEnabled_ = false;
  updateCache();
}

uint8_t BitfieldMan::candidateByte(size_t byteIndex, const uint8_t* ignore) const {
  uint8_t b = ~bitfield_[byteIndex] & ~useBitfield_[byteIndex];
  if (filterEnabled_) {
    b &= filterBitfield_[byteIndex];
  }
  if (ignore) {
    b &= ~ignore[byteIndex];
  }
  if (byteIndex + 1 == bitfieldLength_) {
    b &= bitfield::lastByteMask(blocks_);
  }
  return b;
}

bool BitfieldMan::isCandidate(size_t index, const uint8_t* ignore) const {
  return (candidateByte(index / 8, ignore) & (0x80 >> (index % 8))) != 0;
}

namespace {

// Adapts the candidate computation to the byte-indexed expression form used by
// the bitfield functions.
struct CandidateBytes {
  const BitfieldMan* man;
  const uint8_t* ignore;
  uint8_t operator[](size_t i) const { return man->candidateByte(i, ignore); }
};

}  // namespace

bool BitfieldMan::getFirstMissingUnusedIndex(size_t& index) const {
  return bitfield::getFirstSetBitIndex(index, CandidateBytes{this, nullptr}, blocks_);
}

size_t BitfieldMan::getFirstNMissingUnusedIndex(std::vector<size_t>& indexes, size_t n) const {
  return bitfield::getFirstNSetBitIndex(std::back_inserter(indexes), n,
                                        CandidateBytes{this, nullptr}, blocks_);
}

bool BitfieldMan::getFirstMissingIndex(size_t& index) const {
  if (blocks_ == 0) {
    return false;
  }
  expr::Array have(bitfield_);
  if (filterEnabled_) {
    expr::Array filter(filterBitfield_);
    return bitfield::getFirstSetBitIndex(index, ~have & filter, blocks_);
  }
  return bitfield::getFirstSetBitIndex(index, ~have, blocks_);
}

bool BitfieldMan::getSparseMissingUnusedIndex(size_t& index, int32_t minSplitSize,
                                              const uint8_t* ignoreBitfield,
                                              size_t /*ignoreBitfieldLength*/) const {
  auto candOrUsed = [&](size_t i) { return isCandidate(i, ignoreBitfield) || isUseBitSet(i); };
  Range best;
  size_t i = 0;
  while (i < blocks_) {
    if (!isCandidate(i, ignoreBitfield)) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < blocks_ && isCandidate(i, ignoreBitfield)) {
      ++i;
    }
    Range run(start, i);
    if (run.startIndex > 0 && isUseBitSet(run.startIndex - 1)) {
      run.startIndex = run.getMidIndex();
    }
    if (best < run) {
      best = run;
    } else if (best == run && best.startIndex > 0 && run.startIndex > 0 &&
               candOrUsed(best.startIndex - 1) && !candOrUsed(run.startIndex - 1)) {
      best = run;
    }
  }
  if (best.getSize() == 0) {
    return false;
  }
  if (best.startIndex == 0) {
    index = 0;
    return true;
  }
  if (!candOrUsed(best.startIndex - 1) ||
      static_cast<int64_t>(best.getSize()) * blockLength_ >= minSplitSize) {
    index = best.startIndex;
    return true;
  }
  return false;
}

bool BitfieldMan::getGeomMissingUnusedIndex(size_t& index, int32_t minSplitSize,
                                            const uint8_t* ignoreBitfield,
                                            size_t ignoreBitfieldLength, double base,
                                            size_t offsetIndex) const {
  double start = 0;
  double end = 1;
  while (start + offsetIndex < blocks_) {
    size_t lo = static_cast<size_t>(start + offsetIndex);
    size_t hi = std::min(blocks_, static_cast<size_t>(end + offsetIndex));
    for (size_t i = lo; i < hi; ++i) {
      if (isUseBitSet(i)) {
        break;
      }
      if (isCandidate(i, ignoreBitfield)) {
        index = i;
        return true;
      }
    }
    start = end;
    end *= base;
  }
  return getSparseMissingUnusedIndex(index, minSplitSize, ignoreBitfield, ignoreBitfieldLength);
}

bool BitfieldMan::getInorderMissingUnusedIndex(size_t& index, int32_t minSplitSize,
                                               const uint8_t* ignoreBitfield,
                                               size_t ignoreBitfieldLength) const {
  if (blocks_ == 0) {
    return false;
  }
  return getInorderMissingUnusedIndex(index, 0, blocks_, minSplitSize, ignoreBitfield,
                                      ignoreBitfieldLength);
}

bool BitfieldMan::getInorderMissingUnusedIndex(size_t& index, size_t startIndex, size_t endIndex,
                                               int32_t minSplitSize, const uint8_t* ignoreBitfield,
                                               size_t /*ignoreBitfieldLength*/) const {
  if (startIndex >= blocks_) {
    return false;
  }
  endIndex = std::min(endIndex, blocks_);
  if (isCandidate(startIndex, ignoreBitfield)) {
    index = startIndex;
    return true;
  }
  for (size_t i = startIndex + 1; i < endIndex; ++i) {
    if (!isCandidate(i, ignoreBitfield)) {
      continue;
    }
    if (!isCandidate(i - 1, ignoreBitfield) && !isUseBitSet(i - 1)) {
      index = i;
      return true;
    }
    int64_t sum = 0;
    size_t j = i;
    for (; j < blocks_ && isCandidate(j, ignoreBitfield); ++j) {
      sum += blockLength_;
      if (sum >= minSplitSize) {
        index = j;
        return true;
      }
    }
    i = j;
  }
  return false;
}

bool BitfieldMan::writeMissing(uint8_t* out, size_t outLength, const uint8_t* peerBitfield,
                               bool unusedOnly) const {
  bool any = false;
  for (size_t i = 0; i < outLength; ++i) {
    uint8_t b = ~bitfield_[i];
    if (unusedOnly) {
      b &= ~useBitfield_[i];
    }
    if (peerBitfield) {
      b &= peerBitfield[i];
    }
    if (filterEnabled_) {
      b &= filterBitfield_[i];
    }
    if (i + 1 == outLength) {
      b &= bitfield::lastByteMask(blocks_);
    }
    out[i] = b;
    any |= b != 0;
  }
  return any;
}

bool BitfieldMan::getAllMissingIndexes(uint8_t* out, size_t outLength) const {
  assert(outLength == bitfieldLength_ && "len == bitfieldLength_");
  return writeMissing(out, outLength, nullptr, false);
}

bool BitfieldMan::getAllMissingIndexes(uint8_t* out, size_t outLength, const uint8_t* peerBitfield,
                                       size_t peerBitfieldLength) const {
  assert(outLength == bitfieldLength_ && "len == bitfieldLength_");
  if (peerBitfieldLength != outLength) {
    return false;
  }
  return writeMissing(out, outLength, peerBitfield, false);
}

bool BitfieldMan::getAllMissingUnusedIndexes(uint8_t* out, size_t outLength,
                                             const uint8_t* peerBitfield,
                                             size_t peerBitfieldLength) const {
  assert(outLength == bitfieldLength_ && "len == bitfieldLength_");
  if (peerBitfieldLength != outLength) {
    return false;
  }
  return writeMissing(out, outLength, peerBitfield, true);
}

}  // namespace quarn

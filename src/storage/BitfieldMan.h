#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// Which blocks of a byte range are present, being fetched ("in use") and wanted
// ("filter"), with the choosers that pick the next block to fetch.
class BitfieldMan {
 public:
  struct Range {
    size_t startIndex = 0;
    size_t endIndex = 0;
    Range() = default;
    Range(size_t startIndex, size_t endIndex) : startIndex(startIndex), endIndex(endIndex) {}
    size_t getSize() const { return endIndex - startIndex; }
    size_t getMidIndex() const { return startIndex + (endIndex - startIndex) / 2; }
    bool operator<(const Range& r) const { return getSize() < r.getSize(); }
    bool operator==(const Range& r) const { return getSize() == r.getSize(); }
  };

  BitfieldMan(int32_t blockLength, int64_t totalLength);
  BitfieldMan(const BitfieldMan& other);
  BitfieldMan& operator=(const BitfieldMan& other);
  ~BitfieldMan();

  int32_t getBlockLength() const { return blockLength_; }
  int32_t getBlockLength(size_t index) const;
  int32_t getLastBlockLength() const;
  int64_t getTotalLength() const { return totalLength_; }
  size_t countBlock() const { return blocks_; }
  size_t getBitfieldLength() const { return bitfieldLength_; }
  const uint8_t* getBitfield() const { return bitfield_; }
  const uint8_t* getUseBitfield() const { return useBitfield_; }
  const uint8_t* getFilterBitfield() const { return filterBitfield_; }
  bool isFilterEnabled() const { return filterEnabled_; }

  int64_t getCompletedLength() const { return cachedCompletedLength_; }
  int64_t getFilteredCompletedLength() const { return cachedFilteredCompletedLength_; }
  int64_t getFilteredTotalLength() const { return cachedFilteredTotalLength_; }
  size_t countMissingBlock() const { return cachedNumMissingBlock_; }
  size_t countFilteredBlock() const { return cachedNumFilteredBlock_; }

  bool setBit(size_t index);
  bool unsetBit(size_t index);
  bool setUseBit(size_t index);
  bool unsetUseBit(size_t index);
  bool setFilterBit(size_t index);
  bool setBitRange(size_t startIndex, size_t endIndex);
  bool unsetBitRange(size_t startIndex, size_t endIndex);

  void setBitfield(const uint8_t* bitfield, size_t length);
  void clearAllBit();
  void setAllBit();
  void clearAllUseBit();
  void setAllUseBit();

  bool isBitSet(size_t index) const;
  bool isUseBitSet(size_t index) const;
  bool isFilterBitSet(size_t index) const;
  bool isAllBitSet() const;
  bool isFilteredAllBitSet() const;
  bool isAllFilterBitSet() const;
  bool isBitRangeSet(size_t startIndex, size_t endIndex) const;
  bool isBitSetOffsetRange(int64_t offset, int64_t length) const;
  bool hasMissingPiece(const uint8_t* peerBitfield, size_t peerLength) const;

  int64_t getOffsetCompletedLength(int64_t offset, int64_t length) const;
  int64_t getMissingUnusedLength(size_t startIndex) const;
  int64_t getCompletedLength(bool useFilter) const;
  int64_t getCompletedLengthNow() const { return getCompletedLength(false); }
  int64_t getFilteredCompletedLengthNow() const { return getCompletedLength(true); }
  int64_t getFilteredTotalLengthNow() const;
  size_t countMissingBlockNow() const;
  size_t countFilteredBlockNow() const;
  void updateCache();

  void ensureFilterBitfield();
  void addFilter(int64_t offset, int64_t length);
  void removeFilter(int64_t offset, int64_t length);
  void addNotFilter(int64_t offset, int64_t length);
  void enableFilter();
  void disableFilter();
  void clearFilter();

  bool getFirstMissingUnusedIndex(size_t& index) const;
  size_t getFirstNMissingUnusedIndex(std::vector<size_t>& indexes, size_t n) const;
  bool getFirstMissingIndex(size_t& index) const;
  bool getSparseMissingUnusedIndex(size_t& index, int32_t minSplitSize,
                                   const uint8_t* ignoreBitfield,
                                   size_t ignoreBitfieldLength) const;
  bool getGeomMissingUnusedIndex(size_t& index, int32_t minSplitSize, const uint8_t* ignoreBitfield,
                                 size_t ignoreBitfieldLength, double base,
                                 size_t offsetIndex) const;
  bool getInorderMissingUnusedIndex(size_t& index, int32_t minSplitSize,
                                    const uint8_t* ignoreBitfield,
                                    size_t ignoreBitfieldLength) const;
  bool getInorderMissingUnusedIndex(size_t& index, size_t startIndex, size_t endIndex,
                                    int32_t minSplitSize, const uint8_t* ignoreBitfield,
                                    size_t ignoreBitfieldLength) const;
  bool getAllMissingIndexes(uint8_t* out, size_t outLength) const;
  bool getAllMissingIndexes(uint8_t* out, size_t outLength, const uint8_t* peerBitfield,
                            size_t peerBitfieldLength) const;
  bool getAllMissingUnusedIndexes(uint8_t* out, size_t outLength, const uint8_t* peerBitfield,
                                  size_t peerBitfieldLength) const;

  // Byte i of the candidate expression: blocks neither present nor in use,
  // wanted when the filter is on, and outside the ignore set (may be null).
  uint8_t candidateByte(size_t byteIndex, const uint8_t* ignore) const;

 private:
  bool setBitInternal(uint8_t* bitfield, size_t index, bool on);
  bool isCandidate(size_t index, const uint8_t* ignore) const;
  void setFilterRange(int64_t offset, int64_t length, bool on);
  int64_t lengthOfCount(size_t count, bool lastCounted) const;
  // Writes NOT have (AND NOT use) (AND peer when given) (AND filter when on).
  bool writeMissing(uint8_t* out, size_t outLength, const uint8_t* peerBitfield,
                    bool unusedOnly) const;
  void copyFrom(const BitfieldMan& other);
  void freeArrays();

  int64_t totalLength_;
  int64_t cachedCompletedLength_;
  int64_t cachedFilteredCompletedLength_;
  int64_t cachedFilteredTotalLength_;
  uint8_t* bitfield_;
  uint8_t* useBitfield_;
  uint8_t* filterBitfield_;
  size_t bitfieldLength_;
  size_t cachedNumMissingBlock_;
  size_t cachedNumFilteredBlock_;
  size_t blocks_;
  int32_t blockLength_;
  bool filterEnabled_;
};

}  // namespace quarn

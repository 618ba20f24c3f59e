#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class BitfieldMan;
class DiskAdaptor;
class MessageDigest;
class WrDiskCache;
class WrDiskCacheEntry;

// One piece of a download while it is fetched: its blocks, the connections
// working on it, its running digest and its data in the write cache.
class Piece {
 public:
  static constexpr int32_t BLOCK_LENGTH = 16 * 1024;

  Piece();
  Piece(size_t index, int64_t length, int32_t blockLength = BLOCK_LENGTH);
  ~Piece();
  Piece(const Piece&) = delete;
  Piece& operator=(const Piece&) = delete;

  bool operator<(const Piece& other) const { return index_ < other.index_; }
  bool operator==(const Piece& other) const { return index_ == other.index_; }

  void completeBlock(size_t blockIndex);
  void cancelBlock(size_t blockIndex);
  void clearAllBlock(WrDiskCache* diskCache);
  void setAllBlock();
  bool pieceComplete() const;
  size_t countBlock() const;
  int32_t getBlockLength() const;
  int32_t getBlockLength(size_t index) const;
  const uint8_t* getBitfield() const;
  size_t getBitfieldLength() const;
  void setBitfield(const uint8_t* bitfield, size_t length);
  bool isBlockUsed(size_t index) const;
  bool hasBlock(size_t index) const;
  size_t countCompleteBlock() const;
  size_t countMissingBlock() const;
  int64_t getCompletedLength() const;
  bool getMissingUnusedBlockIndex(size_t& index);
  size_t getMissingUnusedBlockIndex(std::vector<size_t>& indexes, size_t n);
  bool getFirstMissingBlockIndexWithoutLock(size_t& index) const;
  bool getAllMissingBlockIndexes(uint8_t* misbitfield, size_t mislen) const;
  void reconfigure(int64_t length);

  void addUser(int64_t cuid);
  void removeUser(int64_t cuid);
  bool usedBy(int64_t cuid) const;
  bool hasUser() const { return !users_.empty(); }
  void setUsedBySegment(bool used) { usedBySegment_ = used; }
  bool getUsedBySegment() const { return usedBySegment_; }

  void setHashType(const std::string& hashType) { hashType_ = hashType; }
  const std::string& getHashType() const { return hashType_; }
  bool updateHash(int64_t begin, const uint8_t* data, size_t dataLength);
  bool isHashCalculated() const;
  std::string getDigest();
  void destroyHashContext();
  std::string getDigestWithWrCache(int32_t pieceLength,
                                   const std::shared_ptr<DiskAdaptor>& adaptor);

  void initWrCache(WrDiskCache* diskCache, const std::shared_ptr<DiskAdaptor>& diskAdaptor);
  // Caches len bytes of data (from offset) at goff. A block already cached at
  // goff keeps its first copy: the new one is dropped and counts nothing, so a
  // block delivered twice is neither leaked nor counted as written twice.
  // False when nothing was cached.
  bool updateWrCache(WrDiskCache* diskCache, std::unique_ptr<uint8_t[]> data, size_t offset,
                     size_t len, size_t capacity, int64_t goff);
  size_t appendWrCache(WrDiskCache* diskCache, int64_t goff, const uint8_t* data, size_t len);
  // Counts n bytes a receiver placed in the free room of the entry's last cell.
  void growWrCache(WrDiskCache* diskCache, size_t n);
  void flushWrCache(WrDiskCache* diskCache);
  void clearWrCache(WrDiskCache* diskCache);
  void releaseWrCache(WrDiskCache* diskCache);
  WrDiskCacheEntry* getWrDiskCacheEntry() const { return wrCache_.get(); }
  // After a failed write of this piece's cached data: marks every block
  // missing again (its data is gone) and throws DownloadFailureException.
  void throwIfWrCacheFailed(WrDiskCache* diskCache);

  size_t getIndex() const { return index_; }
  void setIndex(size_t index) { index_ = index; }
  int64_t getLength() const { return length_; }
  std::string toString() const;

 private:
  // Takes the entry's whole size off the cache's total; false without a cache.
  bool uncountWrCache(WrDiskCache* diskCache);

  std::unique_ptr<BitfieldMan> bitfield_;
  std::unique_ptr<WrDiskCacheEntry> wrCache_;
  std::unique_ptr<MessageDigest> mdctx_;
  std::vector<int64_t> users_;
  std::string hashType_;
  size_t index_;
  int64_t length_;
  int64_t nextBegin_;
  bool usedBySegment_;
};

}  // namespace quarn

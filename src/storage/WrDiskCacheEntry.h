#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <span>

#include "foundation/error_code.h"

namespace quarn {

class DiskAdaptor;
class DiskWriteQueue;
class PendingWrites;

// The cached, not yet written data of one piece, as runs of bytes ("cells")
// ordered by their offset in the download.
class WrDiskCacheEntry {
 public:
  struct DataCell {
    int64_t goff;
    std::unique_ptr<uint8_t[]> data;
    size_t offset;
    size_t len;
    size_t capacity;
    bool operator<(const DataCell& other) const { return goff < other.goff; }
  };
  struct DerefLess {
    bool operator()(const DataCell* a, const DataCell* b) const { return *a < *b; }
  };
  using DataCellSet = std::set<DataCell*, DerefLess>;

  explicit WrDiskCacheEntry(std::shared_ptr<DiskAdaptor> diskAdaptor);
  ~WrDiskCacheEntry();
  WrDiskCacheEntry(const WrDiskCacheEntry&) = delete;
  WrDiskCacheEntry& operator=(const WrDiskCacheEntry&) = delete;

  // Takes the cell; false, dropping it, when a cell at the same offset exists
  // (a block that arrived twice keeps its first copy).
  bool cacheData(std::unique_ptr<DataCell> dataCell);
  // Appends to the last cell when goff is exactly its end; returns bytes taken.
  size_t append(int64_t goff, const uint8_t* data, size_t len);
  // The free room of the last cell when goff is exactly its end, so that a
  // receiver can read into it in place and then count the bytes with grow().
  std::span<uint8_t> spareAt(int64_t goff);
  // Counts n bytes already placed in the last cell's free room.
  void grow(size_t n);
  // Writes every cell and empties the entry; a failure is recorded, not thrown.
  // With a queue, the cells go to its threads and a failure there shows in
  // the download's tally instead.
  void writeToDisk();
  void setWriteQueue(DiskWriteQueue* queue, std::shared_ptr<PendingWrites> download);
  void clear();

  size_t getSizeKey() const { return sizeKey_; }
  void setSizeKey(size_t key) { sizeKey_ = key; }
  int64_t getLastUpdate() const { return lastUpdate_; }
  void setLastUpdate(int64_t clock) { lastUpdate_ = clock; }
  size_t getSize() const { return size_; }
  const DataCellSet& getDataSet() const { return set_; }
  int getError() const { return error_; }
  error_code::Value getErrorCode() const { return errorCode_; }
  const std::shared_ptr<DiskAdaptor>& getDiskAdaptor() const { return diskAdaptor_; }

  bool operator<(const WrDiskCacheEntry& other) const {
    return sizeKey_ > other.sizeKey_ ||
           (sizeKey_ == other.sizeKey_ && lastUpdate_ < other.lastUpdate_);
  }

 private:
  void deleteDataCells();

  size_t sizeKey_;
  int64_t lastUpdate_;
  size_t size_;
  DataCellSet set_;
  int error_;
  error_code::Value errorCode_;
  std::shared_ptr<DiskAdaptor> diskAdaptor_;
  DiskWriteQueue* writeQueue_ = nullptr;
  std::shared_ptr<PendingWrites> downloadWrites_;
};

}  // namespace quarn

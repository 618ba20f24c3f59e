#pragma once

#include <memory>
#include <vector>

#include "storage/DiskAdaptor.h"
#include "storage/DiskWriterEntry.h"

namespace quarn {

// A download of several files laid end to end; files open lazily and count
// against the process-wide open-file budget.
class MultiDiskAdaptor : public DiskAdaptor {
 public:
  MultiDiskAdaptor();
  ~MultiDiskAdaptor() override;

  void initAndOpenFile() override;
  void openFile() override;
  void openExistingFile() override;
  void closeFile() override;
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readData(uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readDataDropCache(uint8_t* data, size_t len, int64_t offset) override;
  void writeCache(const WrDiskCacheEntry* entry, const AsyncWrite* async = nullptr) override;
  bool fileExists() override;
  int64_t size() override;
  std::unique_ptr<FileAllocationIterator> fileAllocationIterator() override;
  void enableReadOnly() override { readOnly_ = true; }
  void disableReadOnly() override { readOnly_ = false; }
  bool isReadOnlyEnabled() const override { return readOnly_; }
  void enableMmap() override;
  void cutTrailingGarbage() override;
  size_t utime(const Time& actime, const Time& modtime) override;
  void flushOSBuffers() override;
  std::vector<int> takeUnsyncedDescriptors() override;
  size_t tryCloseFile(size_t numClose) override;

  void setPieceLength(int32_t pieceLength) { pieceLength_ = pieceLength; }
  int32_t getPieceLength() const { return pieceLength_; }
  const std::vector<std::unique_ptr<DiskWriterEntry>>& getDiskWriterEntries() const {
    return diskWriterEntries_;
  }

 private:
  void resetDiskWriterEntries();
  void openIfNot(DiskWriterEntry* entry, void (DiskWriterEntry::*open)());
  size_t findFirstEntry(int64_t offset) const;
  ssize_t readDataInternal(uint8_t* data, size_t len, int64_t offset, bool dropCache);
  void writeVec(const struct iovec* iov, int iovcnt, int64_t offset,
                const AsyncWrite* async = nullptr);

  int32_t pieceLength_;
  std::vector<std::unique_ptr<DiskWriterEntry>> diskWriterEntries_;
  std::vector<DiskWriterEntry*> openedDiskWriterEntries_;
  bool readOnly_;
};

}  // namespace quarn

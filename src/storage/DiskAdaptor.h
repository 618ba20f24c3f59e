#pragma once

#include <sys/uio.h>

#include <functional>
#include <memory>
#include <vector>

#include "foundation/BinaryStream.h"
#include "storage/FileAllocationIterator.h"

namespace quarn {

class FileAllocationIterator;
class FileEntry;
class OpenedFileCounter;
class WrDiskCacheEntry;
struct AsyncWrite;
class Time;

// The whole of a download, one file or many laid end to end, as one byte space.
class DiskAdaptor : public BinaryStream {
 public:
  DiskAdaptor() : fileAllocationMethod_(FILE_ALLOC_ADAPTIVE) {}

  enum FileAllocationMethod {
    FILE_ALLOC_ADAPTIVE = 0,
    FILE_ALLOC_FALLOC = 1,
    FILE_ALLOC_TRUNC = 2
  };

  virtual void openFile() = 0;
  virtual void closeFile() = 0;
  virtual void openExistingFile() = 0;
  virtual void initAndOpenFile() = 0;
  virtual bool fileExists() = 0;
  virtual int64_t size() = 0;
  // The iterator that gives the download's files their full size on disk by
  // the allocation method.
  virtual std::unique_ptr<FileAllocationIterator> fileAllocationIterator() = 0;
  virtual void enableReadOnly() {}
  virtual void disableReadOnly() {}
  virtual bool isReadOnlyEnabled() const { return false; }
  virtual void enableMmap() {}
  virtual void cutTrailingGarbage() = 0;
  virtual size_t utime(const Time& actime, const Time& modtime) = 0;
  virtual ssize_t readDataDropCache(uint8_t* data, size_t len, int64_t offset) = 0;
  // Writes the entry's cells; with async (and a queue in it), a writer may
  // leave the writes to the queue's threads.
  virtual void writeCache(const WrDiskCacheEntry* entry, const AsyncWrite* async = nullptr) = 0;
  virtual void flushOSBuffers() {}
  // The files' takeUnsyncedDescriptor() results other than -1: the caller
  // syncs and closes them, possibly on another thread.
  virtual std::vector<int> takeUnsyncedDescriptors() { return {}; }
  virtual size_t tryCloseFile(size_t /*numClose*/) { return 0; }

  const std::vector<std::shared_ptr<FileEntry>>& getFileEntries() const { return fileEntries_; }
  template <typename InputIt>
  void setFileEntries(InputIt first, InputIt last) {
    fileEntries_.assign(first, last);
  }
  int getFileAllocationMethod() const { return fileAllocationMethod_; }
  void setFileAllocationMethod(int method) { fileAllocationMethod_ = method; }
  const std::shared_ptr<OpenedFileCounter>& getOpenedFileCounter() const {
    return openedFileCounter_;
  }
  void setOpenedFileCounter(std::shared_ptr<OpenedFileCounter> counter) {
    openedFileCounter_ = std::move(counter);
  }

 protected:
  // Calls fn once per run of contiguous cells of the entry, in ascending
  // offset order, with the run's buffers and its download offset; with
  // async, also with a copy of it that names the run's range.
  static void forEachCacheRun(
      const WrDiskCacheEntry* entry, const AsyncWrite* async,
      const std::function<void(const struct iovec*, int, int64_t, const AsyncWrite*)>& fn);

 private:
  std::vector<std::shared_ptr<FileEntry>> fileEntries_;
  int fileAllocationMethod_;
  std::shared_ptr<OpenedFileCounter> openedFileCounter_;
};

}  // namespace quarn

#pragma once

#include <memory>
#include <string>

#include "storage/DiskWriter.h"

namespace quarn {

// A disk writer over one file descriptor, optionally writing through a memory
// mapping of the whole file.
class AbstractDiskWriter : public DiskWriter {
 public:
  explicit AbstractDiskWriter(const std::string& filename);
  ~AbstractDiskWriter() override;

  void openFile(int64_t totalLength = 0) override;
  void closeFile() override;
  void openExistingFile(int64_t totalLength = 0) override;
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
  void writeDataVec(const struct iovec* iov, int iovcnt, int64_t offset) override;
  void writeDataVecAsync(const struct iovec* iov, int iovcnt, int64_t offset,
                         const AsyncWrite& async) override;
  ssize_t readData(uint8_t* data, size_t len, int64_t offset) override;
  void truncate(int64_t length) override;
  void allocate(int64_t offset, int64_t length, bool sparse) override;
  int64_t size() override;
  void enableReadOnly() override { readOnly_ = true; }
  void disableReadOnly() override { readOnly_ = false; }
  void enableMmap() override { enableMmap_ = true; }
  void dropCache(int64_t len, int64_t offset) override;
  void flushOSBuffers() override;
  int takeUnsyncedDescriptor() override;

  const std::string& getFilename() const { return filename_; }
  bool isOpen() const { return fd_ != -1; }
  bool isMapped() const { return mapaddr_ != nullptr; }

 protected:
  void createFile(int addFlags = 0);

 private:
  int openFileWithFlags(int flags, int errorCode);
  void prepareMapping(size_t len, int64_t offset);
  void unmap();
  [[noreturn]] void throwWriteError(int errNum);
  // Waits for the writes of this file still with the queue's threads.
  void awaitWrites();
  // Also throws when one of them failed: writing on would leave a hole.
  void awaitWritesForWrite();

  std::string filename_;
  int fd_;
  bool readOnly_;
  bool enableMmap_;
  uint8_t* mapaddr_;
  int64_t maplen_;
  // Set by every change to the file since it was opened or last synced.
  bool unsynced_ = true;
  // The writes of this file handed to worker threads; made with the first.
  std::shared_ptr<PendingWrites> pending_;
};

}  // namespace quarn

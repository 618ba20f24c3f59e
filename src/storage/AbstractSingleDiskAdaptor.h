#pragma once

#include <string>
#include <vector>

#include "storage/DiskAdaptor.h"
#include "storage/DiskWriter.h"

namespace quarn {

// A download of one file, reached through one disk writer.
class AbstractSingleDiskAdaptor : public DiskAdaptor {
 public:
  AbstractSingleDiskAdaptor();
  ~AbstractSingleDiskAdaptor() override;

  void initAndOpenFile() override;
  void openFile() override;
  void closeFile() override;
  void openExistingFile() override;
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readData(uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readDataDropCache(uint8_t* data, size_t len, int64_t offset) override;
  void writeCache(const WrDiskCacheEntry* entry, const AsyncWrite* async = nullptr) override;
  bool fileExists() override;
  int64_t size() override;
  std::unique_ptr<FileAllocationIterator> fileAllocationIterator() override;
  void truncate(int64_t length) override;
  void enableReadOnly() override;
  void disableReadOnly() override;
  bool isReadOnlyEnabled() const override { return readOnly_; }
  void enableMmap() override;
  void cutTrailingGarbage() override;
  void flushOSBuffers() override;
  std::vector<int> takeUnsyncedDescriptors() override;

  virtual const std::string& getFilePath() = 0;

  void setDiskWriter(std::unique_ptr<DiskWriter> diskWriter);
  const std::unique_ptr<DiskWriter>& getDiskWriter() const { return diskWriter_; }
  void setTotalLength(int64_t totalLength) { totalLength_ = totalLength; }
  int64_t getTotalLength() const { return totalLength_; }

 private:
  std::unique_ptr<DiskWriter> diskWriter_;
  int64_t totalLength_;
  bool readOnly_;
};

}  // namespace quarn

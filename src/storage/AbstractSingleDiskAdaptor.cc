#include "storage/AbstractSingleDiskAdaptor.h"

#include "foundation/File.h"
#include "storage/AdaptiveFileAllocationIterator.h"
#include "storage/FallocFileAllocationIterator.h"
#include "storage/TruncFileAllocationIterator.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

AbstractSingleDiskAdaptor::AbstractSingleDiskAdaptor() : totalLength_(0), readOnly_(false) {}

AbstractSingleDiskAdaptor::~AbstractSingleDiskAdaptor() = default;

void AbstractSingleDiskAdaptor::initAndOpenFile() {
  diskWriter_->initAndOpenFile(totalLength_);
}

void AbstractSingleDiskAdaptor::openFile() {
  diskWriter_->openFile(totalLength_);
}

void AbstractSingleDiskAdaptor::closeFile() {
  diskWriter_->closeFile();
}

void AbstractSingleDiskAdaptor::openExistingFile() {
  diskWriter_->openExistingFile(totalLength_);
}

void AbstractSingleDiskAdaptor::writeData(const uint8_t* data, size_t len, int64_t offset) {
  diskWriter_->writeData(data, len, offset);
}

ssize_t AbstractSingleDiskAdaptor::readData(uint8_t* data, size_t len, int64_t offset) {
  return diskWriter_->readData(data, len, offset);
}

ssize_t AbstractSingleDiskAdaptor::readDataDropCache(uint8_t* data, size_t len, int64_t offset) {
  int64_t n = readData(data, len, offset);
  if (n > 0) {
    diskWriter_->dropCache(len, offset);
  }
  return n;
}

void AbstractSingleDiskAdaptor::writeCache(const WrDiskCacheEntry* entry, const AsyncWrite* async) {
  forEachCacheRun(entry, async,
                  [this](const struct iovec* iov, int iovcnt, int64_t goff, const AsyncWrite* run) {
                    if (run) {
                      diskWriter_->writeDataVecAsync(iov, iovcnt, goff, *run);
                    } else {
                      diskWriter_->writeDataVec(iov, iovcnt, goff);
                    }
                  });
}

bool AbstractSingleDiskAdaptor::fileExists() {
  return File(getFilePath()).exists();
}

int64_t AbstractSingleDiskAdaptor::size() {
  return File(getFilePath()).size();
}

std::unique_ptr<FileAllocationIterator> AbstractSingleDiskAdaptor::fileAllocationIterator() {
  switch (getFileAllocationMethod()) {
    case FILE_ALLOC_TRUNC:
      return std::make_unique<TruncFileAllocationIterator>(diskWriter_.get(), size(), totalLength_);
    case FILE_ALLOC_FALLOC:
      return std::make_unique<FallocFileAllocationIterator>(diskWriter_.get(), size(),
                                                            totalLength_);
    default:
      return std::make_unique<AdaptiveFileAllocationIterator>(diskWriter_.get(), size(),
                                                              totalLength_);
  }
}

void AbstractSingleDiskAdaptor::truncate(int64_t length) {
  diskWriter_->truncate(length);
}

void AbstractSingleDiskAdaptor::enableReadOnly() {
  diskWriter_->enableReadOnly();
  readOnly_ = true;
}

void AbstractSingleDiskAdaptor::disableReadOnly() {
  diskWriter_->disableReadOnly();
  readOnly_ = false;
}

void AbstractSingleDiskAdaptor::enableMmap() {
  diskWriter_->enableMmap();
}

void AbstractSingleDiskAdaptor::cutTrailingGarbage() {
  if (File(getFilePath()).size() > totalLength_) {
    diskWriter_->truncate(totalLength_);
  }
}

void AbstractSingleDiskAdaptor::flushOSBuffers() {
  diskWriter_->flushOSBuffers();
}

std::vector<int> AbstractSingleDiskAdaptor::takeUnsyncedDescriptors() {
  int fd = diskWriter_->takeUnsyncedDescriptor();
  return fd == -1 ? std::vector<int>{} : std::vector<int>{fd};
}

void AbstractSingleDiskAdaptor::setDiskWriter(std::unique_ptr<DiskWriter> diskWriter) {
  diskWriter_ = std::move(diskWriter);
}

}  // namespace quarn

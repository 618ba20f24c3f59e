#include "storage/MultiFileAllocationIterator.h"

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "storage/AdaptiveFileAllocationIterator.h"
#include "storage/DefaultDiskWriterFactory.h"
#include "storage/FallocFileAllocationIterator.h"
#include "storage/FileEntry.h"
#include "storage/MultiDiskAdaptor.h"
#include "storage/TruncFileAllocationIterator.h"

namespace quarn {

namespace {

std::unique_ptr<FileAllocationIterator> makeIterator(int method, BinaryStream* stream,
                                                     int64_t offset, int64_t totalLength) {
  switch (method) {
    case DiskAdaptor::FILE_ALLOC_TRUNC:
      return std::make_unique<TruncFileAllocationIterator>(stream, offset, totalLength);
    case DiskAdaptor::FILE_ALLOC_FALLOC:
      return std::make_unique<FallocFileAllocationIterator>(stream, offset, totalLength);
    default:
      return std::make_unique<AdaptiveFileAllocationIterator>(stream, offset, totalLength);
  }
}

}  // namespace

MultiFileAllocationIterator::MultiFileAllocationIterator(MultiDiskAdaptor* diskAdaptor)
    : diskAdaptor_(diskAdaptor), entryIndex_(0) {}

MultiFileAllocationIterator::~MultiFileAllocationIterator() {
  fileAllocationIterator_.reset();
  closeCurrentDiskWriter();
}

void MultiFileAllocationIterator::closeCurrentDiskWriter() {
  if (diskWriter_) {
    diskWriter_->closeFile();
    diskWriter_.reset();
  }
}

void MultiFileAllocationIterator::allocateChunk() {
  if (fileAllocationIterator_) {
    if (!fileAllocationIterator_->finished()) {
      fileAllocationIterator_->allocateChunk();
      return;
    }
    closeCurrentDiskWriter();
    fileAllocationIterator_.reset();
    ++entryIndex_;
  }
  const auto& entries = diskAdaptor_->getDiskWriterEntries();
  for (; entryIndex_ < entries.size(); ++entryIndex_) {
    if (startCurrentEntry()) {
      fileAllocationIterator_->allocateChunk();
      return;
    }
  }
}

bool MultiFileAllocationIterator::startCurrentEntry() {
  const auto& entry = diskAdaptor_->getDiskWriterEntries()[entryIndex_];
  if (!entry->getDiskWriter()) {
    return false;
  }
  const auto& fileEntry = entry->getFileEntry();
  diskWriter_ = DefaultDiskWriterFactory().newDiskWriter(entry->getFilePath());
  diskWriter_->openFile(fileEntry->getLength());
  int64_t currentSize = entry->size();
  if (entry->needsFileAllocation() && currentSize < fileEntry->getLength()) {
    QLOG_INFO(fmt("Allocating file %s: target size=%lld, current size=%lld",
                  entry->getFilePath().c_str(), static_cast<long long>(fileEntry->getLength()),
                  static_cast<long long>(currentSize)));
    fileAllocationIterator_ = makeIterator(diskAdaptor_->getFileAllocationMethod(),
                                           diskWriter_.get(), currentSize, fileEntry->getLength());
    return true;
  }
  closeCurrentDiskWriter();
  return false;
}

bool MultiFileAllocationIterator::finished() {
  if (entryIndex_ < diskAdaptor_->getDiskWriterEntries().size()) {
    return false;
  }
  return !fileAllocationIterator_ || fileAllocationIterator_->finished();
}

int64_t MultiFileAllocationIterator::getCurrentLength() {
  return fileAllocationIterator_ ? fileAllocationIterator_->getCurrentLength() : 0;
}

int64_t MultiFileAllocationIterator::getTotalLength() {
  return fileAllocationIterator_ ? fileAllocationIterator_->getTotalLength() : 0;
}

}  // namespace quarn

#include "storage/MultiDiskAdaptor.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "storage/DefaultDiskWriterFactory.h"
#include "storage/FileEntry.h"
#include "storage/MultiFileAllocationIterator.h"
#include "storage/OpenedFileCounter.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

MultiDiskAdaptor::MultiDiskAdaptor() : pieceLength_(0), readOnly_(false) {}

MultiDiskAdaptor::~MultiDiskAdaptor() {
  closeFile();
}

void MultiDiskAdaptor::resetDiskWriterEntries() {
  // The opened list points into the entries about to be replaced.
  closeFile();
  diskWriterEntries_.clear();
  for (const auto& fileEntry : getFileEntries()) {
    auto entry = std::make_unique<DiskWriterEntry>(fileEntry);
    entry->needsFileAllocation(fileEntry->isRequested());
    diskWriterEntries_.push_back(std::move(entry));
  }
  if (pieceLength_ > 0) {
    int64_t mark = 0;
    for (auto& entry : diskWriterEntries_) {
      const auto& fe = entry->getFileEntry();
      if (fe->isRequested()) {
        if (fe->getLength() > 0) {
          int64_t last = fe->getOffset() + fe->getLength() - 1;
          mark = last + pieceLength_ - last % pieceLength_;
        }
      } else if (fe->getOffset() < mark) {
        QLOG_DEBUG(fmt("%s needs DiskWriter", fe->getPath().c_str()));
        entry->needsDiskWriter(true);
      }
    }
    int64_t nmark = std::numeric_limits<int64_t>::max();
    for (auto it = diskWriterEntries_.rbegin(); it != diskWriterEntries_.rend(); ++it) {
      const auto& fe = (*it)->getFileEntry();
      if (fe->isRequested()) {
        nmark = fe->getOffset() / pieceLength_ * pieceLength_;
      } else if (fe->getOffset() >= nmark ||
                 (fe->getOffset() < nmark && nmark < fe->getOffset() + fe->getLength())) {
        QLOG_DEBUG(fmt("%s needs file allocation", fe->getPath().c_str()));
        (*it)->needsFileAllocation(true);
      }
    }
  }
  DefaultDiskWriterFactory factory;
  for (auto& entry : diskWriterEntries_) {
    if (entry->needsFileAllocation() || entry->needsDiskWriter() || entry->fileExists()) {
      QLOG_DEBUG(fmt("Creating DiskWriter for filename=%s", entry->getFilePath().c_str()));
      entry->setDiskWriter(factory.newDiskWriter(entry->getFilePath()));
      if (readOnly_) {
        entry->getDiskWriter()->enableReadOnly();
      }
    }
  }
}

void MultiDiskAdaptor::openIfNot(DiskWriterEntry* entry, void (DiskWriterEntry::*open)()) {
  if (entry->isOpen()) {
    return;
  }
  if (const auto& counter = getOpenedFileCounter()) {
    counter->ensureMaxOpenFileLimit(1);
  }
  (entry->*open)();
  openedDiskWriterEntries_.push_back(entry);
}

void MultiDiskAdaptor::openFile() {
  resetDiskWriterEntries();
  for (auto& entry : diskWriterEntries_) {
    openIfNot(entry.get(), &DiskWriterEntry::openFile);
  }
}

void MultiDiskAdaptor::initAndOpenFile() {
  resetDiskWriterEntries();
  for (auto& entry : diskWriterEntries_) {
    openIfNot(entry.get(), &DiskWriterEntry::initAndOpenFile);
  }
}

void MultiDiskAdaptor::openExistingFile() {
  resetDiskWriterEntries();
}

void MultiDiskAdaptor::closeFile() {
  for (auto* entry : openedDiskWriterEntries_) {
    entry->closeFile();
  }
  if (const auto& counter = getOpenedFileCounter()) {
    counter->reduceNumOfOpenedFile(openedDiskWriterEntries_.size());
  }
  openedDiskWriterEntries_.clear();
}

size_t MultiDiskAdaptor::findFirstEntry(int64_t offset) const {
  auto it = std::upper_bound(diskWriterEntries_.begin(), diskWriterEntries_.end(), offset,
                             [](int64_t off, const std::unique_ptr<DiskWriterEntry>& e) {
                               return off < e->getFileEntry()->getOffset();
                             });
  if (it == diskWriterEntries_.begin()) {
    throw DL_ABORT_EX(
        fmt("The offset is out of range, offset=%lld", static_cast<long long>(offset)));
  }
  --it;
  const auto& fe = (*it)->getFileEntry();
  if (offset < fe->getOffset() || offset >= fe->getOffset() + fe->getLength()) {
    throw DL_ABORT_EX(
        fmt("The offset is out of range, offset=%lld", static_cast<long long>(offset)));
  }
  return it - diskWriterEntries_.begin();
}

namespace {

[[noreturn]] void throwNotOpened(int64_t offset, const std::string& path) {
  throw DL_ABORT_EX(fmt("DiskWriter for offset=%lld, filename=%s is not opened.",
                        static_cast<long long>(offset), path.c_str()));
}

}  // namespace

void MultiDiskAdaptor::writeData(const uint8_t* data, size_t len, int64_t offset) {
  struct iovec iov = {const_cast<uint8_t*>(data), len};
  writeVec(&iov, 1, offset);
}

void MultiDiskAdaptor::writeVec(const struct iovec* iov, int iovcnt, int64_t offset,
                                const AsyncWrite* async) {
  size_t total = 0;
  for (int i = 0; i < iovcnt; ++i) {
    total += iov[i].iov_len;
  }
  size_t index = findFirstEntry(offset);
  int64_t pos = offset - diskWriterEntries_[index]->getFileEntry()->getOffset();
  size_t remaining = total;
  // Cursor into the buffers: which one, and how far into it.
  int cur = 0;
  size_t curOff = 0;
  std::vector<struct iovec> part;
  for (; index < diskWriterEntries_.size() && remaining > 0; ++index, pos = 0) {
    auto* entry = diskWriterEntries_[index].get();
    openIfNot(entry, &DiskWriterEntry::openFile);
    if (!entry->isOpen()) {
      throwNotOpened(offset + (total - remaining), entry->getFilePath());
    }
    size_t want = std::min<int64_t>(remaining, entry->getFileEntry()->getLength() - pos);
    part.clear();
    for (size_t taken = 0; taken < want;) {
      size_t n = std::min(want - taken, iov[cur].iov_len - curOff);
      part.push_back({static_cast<uint8_t*>(iov[cur].iov_base) + curOff, n});
      taken += n;
      curOff += n;
      if (curOff == iov[cur].iov_len) {
        ++cur;
        curOff = 0;
      }
    }
    const int partCount = static_cast<int>(part.size());
    if (partCount > 0 && async) {
      entry->getDiskWriter()->writeDataVecAsync(part.data(), partCount, pos, *async);
    } else if (partCount > 0) {
      entry->getDiskWriter()->writeDataVec(part.data(), partCount, pos);
    }
    remaining -= want;
  }
}

ssize_t MultiDiskAdaptor::readDataInternal(uint8_t* data, size_t len, int64_t offset,
                                           bool dropCache) {
  size_t index = findFirstEntry(offset);
  int64_t pos = offset - diskWriterEntries_[index]->getFileEntry()->getOffset();
  size_t remaining = len;
  int64_t total = 0;
  for (; index < diskWriterEntries_.size() && remaining > 0; ++index, pos = 0) {
    auto* entry = diskWriterEntries_[index].get();
    openIfNot(entry, &DiskWriterEntry::openFile);
    if (!entry->isOpen()) {
      throwNotOpened(offset + total, entry->getFilePath());
    }
    size_t want = std::min<int64_t>(remaining, entry->getFileEntry()->getLength() - pos);
    while (want > 0) {
      int64_t n = entry->getDiskWriter()->readData(data, want, pos);
      if (n == 0) {
        return total;
      }
      if (dropCache) {
        entry->getDiskWriter()->dropCache(n, pos);
      }
      total += n;
      pos += n;
      data += n;
      want -= n;
      remaining -= n;
    }
  }
  return total;
}

ssize_t MultiDiskAdaptor::readData(uint8_t* data, size_t len, int64_t offset) {
  return readDataInternal(data, len, offset, false);
}

ssize_t MultiDiskAdaptor::readDataDropCache(uint8_t* data, size_t len, int64_t offset) {
  return readDataInternal(data, len, offset, true);
}

void MultiDiskAdaptor::writeCache(const WrDiskCacheEntry* entry, const AsyncWrite* async) {
  forEachCacheRun(entry, async,
                  [this](const struct iovec* iov, int iovcnt, int64_t goff, const AsyncWrite* run) {
                    writeVec(iov, iovcnt, goff, run);
                  });
}

bool MultiDiskAdaptor::fileExists() {
  const auto& entries = getFileEntries();
  return std::any_of(entries.begin(), entries.end(),
                     [](const std::shared_ptr<FileEntry>& e) { return e->exists(); });
}

int64_t MultiDiskAdaptor::size() {
  int64_t total = 0;
  for (const auto& e : getFileEntries()) {
    total += File(e->getPath()).size();
  }
  return total;
}

std::unique_ptr<FileAllocationIterator> MultiDiskAdaptor::fileAllocationIterator() {
  return std::make_unique<MultiFileAllocationIterator>(this);
}

void MultiDiskAdaptor::enableMmap() {
  for (auto& entry : diskWriterEntries_) {
    if (entry->getDiskWriter()) {
      entry->getDiskWriter()->enableMmap();
    }
  }
}

void MultiDiskAdaptor::cutTrailingGarbage() {
  for (auto& entry : diskWriterEntries_) {
    int64_t length = entry->getFileEntry()->getLength();
    if (entry->getDiskWriter() && File(entry->getFilePath()).size() > length) {
      openIfNot(entry.get(), &DiskWriterEntry::openFile);
      entry->getDiskWriter()->truncate(length);
    }
  }
}

size_t MultiDiskAdaptor::utime(const Time& actime, const Time& modtime) {
  size_t count = 0;
  for (const auto& e : getFileEntries()) {
    File f(e->getPath());
    if (e->isRequested() && f.isFile() && f.utime(actime, modtime)) {
      ++count;
    }
  }
  return count;
}

void MultiDiskAdaptor::flushOSBuffers() {
  for (auto* entry : openedDiskWriterEntries_) {
    if (entry->getDiskWriter()) {
      entry->getDiskWriter()->flushOSBuffers();
    }
  }
}

std::vector<int> MultiDiskAdaptor::takeUnsyncedDescriptors() {
  std::vector<int> fds;
  for (auto* entry : openedDiskWriterEntries_) {
    if (entry->getDiskWriter()) {
      int fd = entry->getDiskWriter()->takeUnsyncedDescriptor();
      if (fd != -1) {
        fds.push_back(fd);
      }
    }
  }
  return fds;
}

size_t MultiDiskAdaptor::tryCloseFile(size_t numClose) {
  size_t closed = 0;
  while (!openedDiskWriterEntries_.empty() && closed < numClose) {
    size_t i = SimpleRandomizer::getInstance()->getRandomNumber(openedDiskWriterEntries_.size());
    openedDiskWriterEntries_[i]->closeFile();
    openedDiskWriterEntries_[i] = openedDiskWriterEntries_.back();
    openedDiskWriterEntries_.pop_back();
    ++closed;
  }
  return closed;
}

}  // namespace quarn

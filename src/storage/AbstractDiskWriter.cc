#include "storage/AbstractDiskWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_process.h"
#include "foundation/util_string.h"
#include "platform/file_space.h"
#include "platform/positional_write.h"
#include "storage/DiskWriteQueue.h"
#include "storage/PendingWrites.h"

namespace quarn {

namespace {

void makeParentDirectories(const std::string& path) {
  File dir(File(path).getDirname());
  if (dir.isDir()) {
    return;
  }
  if (!dir.mkdirs() && !dir.isDir()) {
    int errNum = errno;
    throw DL_ABORT_EX(errNum,
                      fmt("Failed to make the directory %s, cause: %s", dir.getPath().c_str(),
                          util::safeStrerror(errNum).c_str()),
                      error_code::DIR_CREATE_ERROR);
  }
}

}  // namespace

AbstractDiskWriter::AbstractDiskWriter(const std::string& filename)
    : filename_(filename),
      fd_(-1),
      readOnly_(false),
      enableMmap_(false),
      mapaddr_(nullptr),
      maplen_(0) {}

AbstractDiskWriter::~AbstractDiskWriter() {
  closeFile();
}

void AbstractDiskWriter::openFile(int64_t totalLength) {
  try {
    openExistingFile(totalLength);
  } catch (const RecoverableException& e) {
    if (e.getErrNum() != ENOENT) {
      throw;
    }
    initAndOpenFile(totalLength);
  }
}

void AbstractDiskWriter::unmap() {
  if (munmap(mapaddr_, maplen_) == -1) {
    int errNum = errno;
    if (errNum != 0) {
      QLOG_ERROR(fmt("Unmapping file %s failed: %s", filename_.c_str(),
                     util::safeStrerror(errNum).c_str()));
    }
  } else {
    QLOG_INFO(fmt("Unmapping file %s succeeded", filename_.c_str()));
  }
  mapaddr_ = nullptr;
  maplen_ = 0;
}

void AbstractDiskWriter::awaitWrites() {
  if (pending_) {
    pending_->wait();
  }
}

void AbstractDiskWriter::awaitWritesForWrite() {
  awaitWrites();
  if (pending_ && pending_->firstError() != 0) {
    throwWriteError(pending_->firstError());
  }
}

void AbstractDiskWriter::closeFile() {
  // The descriptor is what the queued writes write through.
  awaitWrites();
  if (mapaddr_) {
    unmap();
  }
  if (fd_ != -1) {
    // A control file saved later syncs only the files still open; what was
    // written through this descriptor must be on the device before it goes.
    flushOSBuffers();
    ::close(fd_);
    fd_ = -1;
  }
}

int AbstractDiskWriter::openFileWithFlags(int flags, int errorCode) {
  int fd;
  while ((fd = ::open(filename_.c_str(), flags, 0666)) == -1 && errno == EINTR) {
  }
  if (fd == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(errNum,
                      fmt(_("Failed to open the file %s, cause: %s"), filename_.c_str(),
                          util::safeStrerror(errNum).c_str()),
                      static_cast<error_code::Value>(errorCode));
  }
  util::make_fd_cloexec(fd);
  return fd;
}

void AbstractDiskWriter::openExistingFile(int64_t /*totalLength*/) {
  closeFile();
  fd_ = openFileWithFlags(readOnly_ ? O_RDONLY : O_RDWR, error_code::FILE_OPEN_ERROR);
  // What an earlier writer left may not be on the device yet.
  unsynced_ = true;
}

void AbstractDiskWriter::createFile(int addFlags) {
  if (filename_.empty()) {
    throw DL_ABORT_EX("Failed to open the file , cause: empty file name",
                      error_code::FILE_CREATE_ERROR);
  }
  makeParentDirectories(filename_);
  closeFile();
  fd_ = openFileWithFlags(O_CREAT | O_TRUNC | O_RDWR | addFlags, error_code::FILE_CREATE_ERROR);
  unsynced_ = false;
}

void AbstractDiskWriter::throwWriteError(int errNum) {
  std::string msg = fmt(_("Failed to write into the file %s, cause: %s"), filename_.c_str(),
                        util::safeStrerror(errNum).c_str());
  if (errNum == ENOSPC) {
    throw DOWNLOAD_FAILURE_EXCEPTION(errNum, msg, error_code::NOT_ENOUGH_DISK_SPACE);
  }
  throw DL_ABORT_EX(errNum, msg, error_code::FILE_IO_ERROR);
}

void AbstractDiskWriter::prepareMapping(size_t len, int64_t offset) {
  if (mapaddr_) {
    if (offset + static_cast<int64_t>(len) > maplen_) {
      // Outgrown mapping: from here on, plain writes.
      unmap();
      enableMmap_ = false;
    }
    return;
  }
  int64_t filesize = size();
  if (filesize == 0) {
    enableMmap_ = false;
    return;
  }
  if (offset + static_cast<int64_t>(len) > filesize) {
    return;
  }
  void* addr = mmap(nullptr, filesize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (addr == MAP_FAILED) {
    int errNum = errno;
    QLOG_WARN(
        fmt("Mapping file %s failed: %s", filename_.c_str(), util::safeStrerror(errNum).c_str()));
    enableMmap_ = false;
    return;
  }
  mapaddr_ = static_cast<uint8_t*>(addr);
  maplen_ = filesize;
  QLOG_DEBUG(fmt("Mapping file %s succeeded, length=%lld", filename_.c_str(),
                 static_cast<long long>(maplen_)));
}

void AbstractDiskWriter::writeData(const uint8_t* data, size_t len, int64_t offset) {
  awaitWritesForWrite();
  unsynced_ = true;
  if (enableMmap_) {
    prepareMapping(len, offset);
  }
  if (mapaddr_) {
    if (len) {
      std::memcpy(mapaddr_ + offset, data, len);
    }
    return;
  }
  while (len > 0) {
    ssize_t n = ::pwrite(fd_, data, len, offset);
    if (n == -1) {
      if (errno == EINTR) {
        continue;
      }
      throwWriteError(errno);
    }
    data += n;
    len -= n;
    offset += n;
  }
}

void AbstractDiskWriter::writeDataVec(const struct iovec* iov, int iovcnt, int64_t offset) {
  awaitWritesForWrite();
  unsynced_ = true;
  if (enableMmap_ || mapaddr_ || fd_ == -1) {
    DiskWriter::writeDataVec(iov, iovcnt, offset);
    return;
  }
  if (int errNum = platform::writeFullyAt(fd_, iov, iovcnt, offset); errNum != 0) {
    throwWriteError(errNum);
  }
}

void AbstractDiskWriter::writeDataVecAsync(const struct iovec* iov, int iovcnt, int64_t offset,
                                           const AsyncWrite& async) {
  if (!async.queue || enableMmap_ || mapaddr_ || fd_ == -1) {
    writeDataVec(iov, iovcnt, offset);
    return;
  }
  if (!pending_) {
    pending_ = std::make_shared<PendingWrites>();
  } else if (int errNum = pending_->firstError(); errNum != 0) {
    throwWriteError(errNum);
  }
  unsynced_ = true;
  async.queue->submit({fd_, std::vector<struct iovec>(iov, iov + iovcnt), offset, async.keep,
                       pending_, async.download, async.goff, async.len});
}

ssize_t AbstractDiskWriter::readData(uint8_t* data, size_t len, int64_t offset) {
  awaitWrites();
  if (mapaddr_) {
    if (offset >= maplen_) {
      return 0;
    }
    size_t n = std::min<int64_t>(len, maplen_ - offset);
    std::memcpy(data, mapaddr_ + offset, n);
    return n;
  }
  ssize_t n;
  while ((n = ::pread(fd_, data, len, offset)) == -1 && errno == EINTR) {
  }
  if (n == -1) {
    int errNum = errno;
    throw DL_ABORT_EX(errNum,
                      fmt(_("Failed to read from the file %s, cause: %s"), filename_.c_str(),
                          util::safeStrerror(errNum).c_str()),
                      error_code::FILE_IO_ERROR);
  }
  return n;
}

void AbstractDiskWriter::truncate(int64_t length) {
  if (fd_ == -1) {
    throw DL_ABORT_EX("File not yet opened.");
  }
  awaitWritesForWrite();
  unsynced_ = true;
  if (ftruncate(fd_, length) == -1) {
    int errNum = errno;
    std::string msg = fmt("File truncation failed. cause: %s", util::safeStrerror(errNum).c_str());
    if (errNum == ENOSPC) {
      throw DOWNLOAD_FAILURE_EXCEPTION(errNum, msg, error_code::NOT_ENOUGH_DISK_SPACE);
    }
    throw DL_ABORT_EX(errNum, msg, error_code::FILE_IO_ERROR);
  }
}

void AbstractDiskWriter::allocate(int64_t offset, int64_t length, bool sparse) {
  if (fd_ == -1) {
    throw DL_ABORT_EX("File not yet opened.");
  }
  if (sparse) {
    truncate(offset + length);
    return;
  }
  awaitWritesForWrite();
  unsynced_ = true;
  int64_t current = size();
  int64_t toReserve = offset + length - current;
  int errNum = platform::reserveFileSpace(fd_, current, toReserve);
  if (errNum != 0) {
    std::string msg = fmt("fallocate of %lld bytes failed. cause: %s",
                          static_cast<long long>(toReserve), util::safeStrerror(errNum).c_str());
    if (errNum == ENOSPC) {
      throw DOWNLOAD_FAILURE_EXCEPTION(errNum, msg, error_code::NOT_ENOUGH_DISK_SPACE);
    }
    throw DL_ABORT_EX(errNum, msg, error_code::FILE_IO_ERROR);
  }
  [[maybe_unused]] int rv = ftruncate(fd_, offset + length);
}

void AbstractDiskWriter::dropCache(int64_t len, int64_t offset) {
  // Data read once for a check need not stay in the page cache.
  if (fd_ != -1) {
    platform::dropFileCache(fd_, offset, len);
  }
}

int64_t AbstractDiskWriter::size() {
  // Writes still queued may grow the file.
  awaitWrites();
  return File(filename_).size();
}

void AbstractDiskWriter::flushOSBuffers() {
  // A file made by this writer that has had nothing written since holds
  // nothing a control file could claim; a file of a few KiB would otherwise
  // pay for a device flush before its first byte arrives.
  awaitWrites();
  if (fd_ != -1 && unsynced_) {
    if (fsync(fd_) == 0) {
      unsynced_ = false;
    }
  }
}

int AbstractDiskWriter::takeUnsyncedDescriptor() {
  awaitWrites();
  if (fd_ == -1 || !unsynced_) {
    return -1;
  }
  int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd != -1) {
    unsynced_ = false;
  }
  return fd;
}

}  // namespace quarn

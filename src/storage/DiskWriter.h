#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <memory>

#include "foundation/BinaryStream.h"

namespace quarn {

class DiskWriteQueue;
class PendingWrites;

// What a write handed to worker threads carries besides its data.
struct AsyncWrite {
  DiskWriteQueue* queue;
  // Keeps the buffers alive until the write has run.
  std::shared_ptr<const void> keep;
  // The download's tally, and the range of the download the write fills.
  std::shared_ptr<PendingWrites> download;
  int64_t goff;
  int64_t len;
};

// Byte-addressed access to one file (or to an in-memory stand-in for one).
class DiskWriter : public BinaryStream {
 public:
  virtual void initAndOpenFile(int64_t totalLength = 0) = 0;
  virtual void openFile(int64_t totalLength = 0) = 0;
  virtual void closeFile() = 0;
  virtual void openExistingFile(int64_t totalLength = 0) = 0;
  virtual int64_t size() = 0;
  virtual void enableReadOnly() {}
  virtual void disableReadOnly() {}
  virtual void enableMmap() {}
  virtual void dropCache(int64_t /*len*/, int64_t /*offset*/) {}
  virtual void flushOSBuffers() {}
  // When the file has changed since its last sync: a duplicate of its
  // descriptor, owned by the caller, which takes over that sync; the writer
  // counts as synced from then on. -1 otherwise.
  virtual int takeUnsyncedDescriptor() { return -1; }

  // Writes the buffers one after another from offset; writers that can do it
  // in one system call override this.
  virtual void writeDataVec(const struct iovec* iov, int iovcnt, int64_t offset) {
    for (int i = 0; i < iovcnt; ++i) {
      writeData(static_cast<const uint8_t*>(iov[i].iov_base), iov[i].iov_len, offset);
      offset += iov[i].iov_len;
    }
  }
  // Like writeDataVec, but a writer over a file may leave the write to the
  // queue's threads and return at once; a failure then shows in the tallies.
  virtual void writeDataVecAsync(const struct iovec* iov, int iovcnt, int64_t offset,
                                 const AsyncWrite& /*async*/) {
    writeDataVec(iov, iovcnt, offset);
  }
};

}  // namespace quarn

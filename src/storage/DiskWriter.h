#pragma once

#include <sys/uio.h>

#include "foundation/BinaryStream.h"

namespace quarn {

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
};

}  // namespace quarn

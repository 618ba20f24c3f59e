#include "fetchprobe/FileDescriptor.h"

#include <unistd.h>

namespace quarn {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::reset() {
  if (fd_ >= 0) {
    // The descriptor is gone after close() even when it reports EINTR, so no retry.
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace quarn

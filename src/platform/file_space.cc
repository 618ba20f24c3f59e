#include "platform/file_space.h"

#include <errno.h>
#include <fcntl.h>

namespace quarn::platform {

int reserveFileSpace(int fd, int64_t offset, int64_t length) {
  if (length <= 0) {
    return 0;
  }
  int rv;
  while ((rv = fallocate(fd, 0, offset, length)) == -1 && errno == EINTR) {
  }
  return rv == 0 ? 0 : errno;
}

void startWriteback(int fd) {
  // Offset 0 and length 0 cover the whole file; pages already under writeback
  // are left alone. Only a hint: a failure changes nothing for the caller.
  sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void dropFileCache(int fd, int64_t offset, int64_t length) {
  posix_fadvise(fd, offset, length, POSIX_FADV_DONTNEED);
}

}  // namespace quarn::platform

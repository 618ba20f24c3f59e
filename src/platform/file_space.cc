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

void dropFileCache(int fd, int64_t offset, int64_t length) {
  posix_fadvise(fd, offset, length, POSIX_FADV_DONTNEED);
}

}  // namespace quarn::platform

#include "platform/positional_write.h"

#include <errno.h>
#include <limits.h>

#include <algorithm>

namespace quarn::platform {

int writeFullyAt(int fd, const struct iovec* iov, int iovcnt, int64_t offset) {
  // Work on a copy so that short writes can advance through the vector.
  struct iovec local[IOV_MAX];
  while (iovcnt > 0) {
    int cnt = std::min(iovcnt, IOV_MAX);
    std::copy(iov, iov + cnt, local);
    struct iovec* cur = local;
    int left = cnt;
    while (left > 0) {
      ssize_t n = ::pwritev(fd, cur, left, offset);
      if (n == -1) {
        if (errno == EINTR) {
          continue;
        }
        return errno;
      }
      offset += n;
      while (left > 0 && static_cast<size_t>(n) >= cur->iov_len) {
        n -= cur->iov_len;
        ++cur;
        --left;
      }
      if (left > 0) {
        cur->iov_base = static_cast<uint8_t*>(cur->iov_base) + n;
        cur->iov_len -= n;
      }
    }
    iov += cnt;
    iovcnt -= cnt;
  }
  return 0;
}

}  // namespace quarn::platform

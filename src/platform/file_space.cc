#include "platform/file_space.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/statvfs.h>

#include <climits>
#include <cstdint>

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

std::optional<FileSystemSpace> fileSystemSpaceOf(const std::string& path) {
  std::string place = path.empty() ? "." : path;
  for (;;) {
    struct statvfs st;
    if (statvfs(place.c_str(), &st) == 0) {
      uint64_t blocks = st.f_bavail;
      uint64_t size = st.f_frsize;
      int64_t available = size != 0 && blocks > static_cast<uint64_t>(INT64_MAX) / size
                              ? INT64_MAX
                              : static_cast<int64_t>(blocks * size);
      return FileSystemSpace{static_cast<uint64_t>(st.f_fsid), available};
    }
    if ((errno != ENOENT && errno != ENOTDIR) || place == "." || place == "/") {
      return std::nullopt;
    }
    auto slash = place.find_last_of('/');
    if (slash == std::string::npos) {
      place = ".";
    } else if (slash == 0) {
      place = "/";
    } else {
      place.resize(slash);
    }
  }
}

void dropFileCache(int fd, int64_t offset, int64_t length) {
  posix_fadvise(fd, offset, length, POSIX_FADV_DONTNEED);
}

}  // namespace quarn::platform

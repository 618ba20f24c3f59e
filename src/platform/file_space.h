#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quarn::platform {

// Reserves disk blocks for [offset, offset + length) of an open file, extending
// its size. Returns 0, or the error number when the file system cannot reserve
// the space (no emulation by writing zeros).
int reserveFileSpace(int fd, int64_t offset, int64_t length);

// The file system a path is on (or would be on, for a path not yet made:
// its nearest existing ancestor's) and the bytes an unprivileged user may
// still write there. Empty when nothing along the path can be examined.
struct FileSystemSpace {
  uint64_t id;
  int64_t available;
};
std::optional<FileSystemSpace> fileSystemSpaceOf(const std::string& path);

// Tells the kernel that the cached pages of the range will not be needed again.
void dropFileCache(int fd, int64_t offset, int64_t length);

}  // namespace quarn::platform

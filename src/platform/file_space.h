#pragma once

#include <cstdint>

namespace quarn::platform {

// Reserves disk blocks for [offset, offset + length) of an open file, extending
// its size. Returns 0, or the error number when the file system cannot reserve
// the space (no emulation by writing zeros).
int reserveFileSpace(int fd, int64_t offset, int64_t length);

// Tells the kernel that the cached pages of the range will not be needed again.
void dropFileCache(int fd, int64_t offset, int64_t length);

}  // namespace quarn::platform

#pragma once

#include <sys/uio.h>

#include <cstdint>

namespace quarn::platform {

// Writes every byte of the buffers to fd from offset, going on after short
// writes and interrupted calls. Returns 0, or the error number of the write
// that failed. Does not change the buffers.
int writeFullyAt(int fd, const struct iovec* iov, int iovcnt, int64_t offset);

}  // namespace quarn::platform

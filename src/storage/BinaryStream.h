#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace quarn {

// Random-access byte source read by digests and stream utilities.
class BinaryStream {
 public:
  virtual ~BinaryStream() = default;

  // Reads up to len bytes starting at offset; returns the number read, fewer at
  // the end of the data and 0 past it.
  virtual ssize_t readData(unsigned char* data, size_t len, int64_t offset) = 0;
};

}  // namespace quarn

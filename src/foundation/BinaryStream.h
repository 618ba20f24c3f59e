#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace quarn {

// Byte-addressed reading and writing: a download's files, or data in memory.
class BinaryStream {
 public:
  virtual ~BinaryStream() = default;

  virtual void writeData(const unsigned char* data, size_t len, int64_t offset) = 0;
  // Reads up to len bytes starting at offset; returns the number read, fewer at
  // the end of the data and 0 past it.
  virtual ssize_t readData(unsigned char* data, size_t len, int64_t offset) = 0;
  virtual void truncate(int64_t /*length*/) {}
  virtual void allocate(int64_t /*offset*/, int64_t /*length*/, bool /*sparse*/) {}
};

}  // namespace quarn

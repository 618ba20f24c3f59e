#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace quarn {

// Byte-addressed reading and writing.
class BinaryStream {
 public:
  virtual ~BinaryStream() = default;
  virtual void writeData(const uint8_t* data, size_t len, int64_t offset) = 0;
  // Returns the bytes read, 0 at the end.
  virtual int64_t readData(uint8_t* data, size_t len, int64_t offset) = 0;
  virtual void truncate(int64_t /*length*/) {}
  virtual void allocate(int64_t /*offset*/, int64_t /*length*/, bool /*sparse*/) {}
};

}  // namespace quarn

#pragma once

#include <cstdint>

#include "foundation/MessageDigestImpl.h"

namespace quarn {

// Adler-32 checksum computed with zlib; the digest is the value, big-endian.
class Adler32MessageDigestImpl : public MessageDigestImpl {
 public:
  Adler32MessageDigestImpl();

  static size_t length() { return 4; }
  size_t getDigestLength() const override { return length(); }
  void reset() override;
  void update(const void* data, size_t length) override;
  void digest(unsigned char* out) override;

 private:
  uint32_t adler_;
};

}  // namespace quarn

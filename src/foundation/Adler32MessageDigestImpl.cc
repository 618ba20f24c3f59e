#include "foundation/Adler32MessageDigestImpl.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace quarn {

Adler32MessageDigestImpl::Adler32MessageDigestImpl() : adler_(adler32(0, Z_NULL, 0)) {}

void Adler32MessageDigestImpl::reset() {
  adler_ = adler32(0, Z_NULL, 0);
}

void Adler32MessageDigestImpl::update(const void* data, size_t length) {
  auto bytes = static_cast<const Bytef*>(data);
  constexpr size_t maxStep = std::numeric_limits<uInt>::max();
  while (length > 0) {
    size_t step = std::min(length, maxStep);
    adler_ = adler32(adler_, bytes, static_cast<uInt>(step));
    bytes += step;
    length -= step;
  }
}

void Adler32MessageDigestImpl::digest(unsigned char* out) {
  out[0] = static_cast<unsigned char>(adler_ >> 24);
  out[1] = static_cast<unsigned char>(adler_ >> 16);
  out[2] = static_cast<unsigned char>(adler_ >> 8);
  out[3] = static_cast<unsigned char>(adler_);
}

}  // namespace quarn

#include "storage/bitfield.h"

namespace quarn::bitfield {

namespace {

constexpr int popcount8(int v) {
  int n = 0;
  for (; v; v >>= 1) {
    n += v & 1;
  }
  return n;
}

}  // namespace

#define QUARN_B2(n) popcount8(n), popcount8(n + 1)
#define QUARN_B4(n) QUARN_B2(n), QUARN_B2(n + 2)
#define QUARN_B8(n) QUARN_B4(n), QUARN_B4(n + 4)
#define QUARN_B16(n) QUARN_B8(n), QUARN_B8(n + 8)
#define QUARN_B32(n) QUARN_B16(n), QUARN_B16(n + 16)
#define QUARN_B64(n) QUARN_B32(n), QUARN_B32(n + 32)
const int cntbits[256] = {QUARN_B64(0), QUARN_B64(64), QUARN_B64(128), QUARN_B64(192)};
#undef QUARN_B64
#undef QUARN_B32
#undef QUARN_B16
#undef QUARN_B8
#undef QUARN_B4
#undef QUARN_B2

size_t countSetBit(const uint8_t* bits, size_t nbits) {
  if (nbits == 0) {
    return 0;
  }
  size_t len = (nbits + 7) / 8;
  size_t count = cntbits[bits[len - 1] & lastByteMask(nbits)];
  size_t full = len - 1;
  size_t i = 0;
  for (; i + 4 <= full; i += 4) {
    count += cntbits[bits[i]] + cntbits[bits[i + 1]] + cntbits[bits[i + 2]] + cntbits[bits[i + 3]];
  }
  for (; i < full; ++i) {
    count += cntbits[bits[i]];
  }
  return count;
}

}  // namespace quarn::bitfield

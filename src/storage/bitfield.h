#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace quarn {

// Lazy element-wise expressions over byte arrays: combinations such as
// ~have & ~use & filter are evaluated one byte at a time, without temporaries.
namespace expr {

struct bit_neg {
  uint8_t operator()(uint8_t a) const { return ~a; }
};
struct bit_and {
  uint8_t operator()(uint8_t a, uint8_t b) const { return a & b; }
};
struct bit_or {
  uint8_t operator()(uint8_t a, uint8_t b) const { return a | b; }
};

struct Array {
  explicit Array(const uint8_t* bytes) : bytes(bytes) {}
  uint8_t operator[](size_t i) const { return bytes[i]; }
  const uint8_t* bytes;
};

template <typename E, typename Op>
struct UnExpr {
  UnExpr(const E& e) : e(e) {}
  uint8_t operator[](size_t i) const { return Op()(e[i]); }
  E e;
};

template <typename L, typename R, typename Op>
struct BinExpr {
  BinExpr(const L& l, const R& r) : l(l), r(r) {}
  uint8_t operator[](size_t i) const { return Op()(l[i], r[i]); }
  L l;
  R r;
};

template <typename E>
concept Expression = requires(const E& e) {
  {e[size_t{0}]};
}
&&!std::is_pointer_v<E>;

template <Expression E>
UnExpr<E, bit_neg> operator~(const E& e) {
  return UnExpr<E, bit_neg>(e);
}

template <Expression L, Expression R>
BinExpr<L, R, bit_and> operator&(const L& l, const R& r) {
  return BinExpr<L, R, bit_and>(l, r);
}

template <Expression L, Expression R>
BinExpr<L, R, bit_or> operator|(const L& l, const R& r) {
  return BinExpr<L, R, bit_or>(l, r);
}

}  // namespace expr

// Free functions over bit arrays (bit i is 0x80 >> (i % 8) of byte i / 8).
namespace bitfield {

extern const int cntbits[256];

// The bits of the last byte that belong to an array of nbits bits.
inline uint8_t lastByteMask(size_t nbits) {
  if (nbits == 0) {
    return 0;
  }
  int rem = nbits % 8;
  return rem == 0 ? 0xff : static_cast<uint8_t>(0xff << (8 - rem));
}

template <typename Array>
bool test(const Array& bits, size_t nbits, size_t index) {
  assert(index < nbits);
  (void)nbits;
  return (bits[index / 8] & (0x80 >> (index % 8))) != 0;
}

inline bool test(const uint8_t* bits, size_t nbits, size_t index) {
  return test(expr::Array(bits), nbits, index);
}

template <typename Array>
uint8_t byteAt(const Array& bits, size_t nbits, size_t byteIndex) {
  size_t len = (nbits + 7) / 8;
  uint8_t b = bits[byteIndex];
  return byteIndex + 1 == len ? (b & lastByteMask(nbits)) : b;
}

template <typename Array>
bool getFirstSetBitIndex(size_t& index, const Array& bits, size_t nbits) {
  size_t len = (nbits + 7) / 8;
  for (size_t i = 0; i < len; ++i) {
    uint8_t b = byteAt(bits, nbits, i);
    if (b) {
      for (int j = 0; j < 8; ++j) {
        if (b & (0x80 >> j)) {
          index = i * 8 + j;
          return true;
        }
      }
    }
  }
  return false;
}

inline bool getFirstSetBitIndex(size_t& index, const uint8_t* bits, size_t nbits) {
  return getFirstSetBitIndex(index, expr::Array(bits), nbits);
}

template <typename Out, typename Array>
size_t getFirstNSetBitIndex(Out out, size_t n, const Array& bits, size_t nbits) {
  if (n == 0) {
    return 0;
  }
  size_t len = (nbits + 7) / 8;
  size_t count = 0;
  for (size_t i = 0; i < len; ++i) {
    uint8_t b = byteAt(bits, nbits, i);
    for (int j = 0; b && j < 8; ++j) {
      if (b & (0x80 >> j)) {
        *out++ = i * 8 + j;
        if (++count == n) {
          return count;
        }
      }
    }
  }
  return count;
}

template <typename Array>
size_t countSetBitSlow(const Array& bits, size_t nbits) {
  size_t len = (nbits + 7) / 8;
  size_t count = 0;
  for (size_t i = 0; i < len; ++i) {
    count += cntbits[byteAt(bits, nbits, i)];
  }
  return count;
}

size_t countSetBit(const uint8_t* bits, size_t nbits);

inline void flipBit(uint8_t* bytes, size_t length, size_t bitIndex) {
  assert(bitIndex / 8 < length);
  (void)length;
  bytes[bitIndex / 8] ^= static_cast<uint8_t>(0x80 >> (bitIndex % 8));
}

}  // namespace bitfield
}  // namespace quarn

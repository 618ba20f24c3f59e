#pragma once

#include <cstdint>
#include <iterator>
#include <string>

namespace quarn {

namespace base32 {

// The decoded bytes, or the empty string when the text is malformed: its
// length must be a non-zero multiple of 8 and it may hold only the RFC 4648
// alphabet (letters of either case) and '=' padding, which ends decoding.
template <typename InputIterator>
std::string decode(InputIterator first, InputIterator last) {
  std::string res;
  auto len = std::distance(first, last);
  if (len == 0 || len % 8) {
    return res;
  }
  bool done = false;
  while (!done && first != last) {
    uint64_t bits = 0;
    int nbits = 0;
    for (int i = 0; i < 8; ++i, ++first) {
      char c = *first;
      unsigned int value;
      if ('A' <= c && c <= 'Z') {
        value = c - 'A';
      } else if ('a' <= c && c <= 'z') {
        value = c - 'a';
      } else if ('2' <= c && c <= '7') {
        value = c - '2' + 26;
      } else if (c == '=') {
        done = true;
        break;
      } else {
        return std::string();
      }
      bits = bits << 5 | value;
      nbits += 5;
    }
    bits >>= nbits % 8;
    for (int i = nbits / 8 - 1; i >= 0; --i) {
      res += static_cast<char>(bits >> (8 * i) & 0xff);
    }
  }
  return res;
}

}  // namespace base32

}  // namespace quarn

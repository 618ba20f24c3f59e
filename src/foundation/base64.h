#pragma once

#include <array>
#include <string>

namespace quarn {

namespace base64 {

inline constexpr char ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value 0-63 of every alphabet byte, -1 for every other byte.
inline constexpr std::array<signed char, 256> DECODE_TABLE = [] {
  std::array<signed char, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(ALPHABET[i])] = static_cast<signed char>(i);
  }
  return table;
}();

// Standard alphabet with '=' padding and no line breaks.
template <typename InputIterator>
std::string encode(InputIterator first, InputIterator last) {
  std::string res;
  unsigned char in[3];
  int n = 0;
  auto flush = [&res, &in](int count) {
    unsigned int bits = in[0] << 16 | (count > 1 ? in[1] << 8 : 0) | (count > 2 ? in[2] : 0);
    res += ALPHABET[bits >> 18 & 0x3f];
    res += ALPHABET[bits >> 12 & 0x3f];
    res += count > 1 ? ALPHABET[bits >> 6 & 0x3f] : '=';
    res += count > 2 ? ALPHABET[bits & 0x3f] : '=';
  };
  for (; first != last; ++first) {
    in[n++] = static_cast<unsigned char>(*first);
    if (n == 3) {
      flush(3);
      n = 0;
    }
  }
  if (n) {
    flush(n);
  }
  return res;
}

// The decoded bytes, or the empty string when the text is malformed. Bytes
// outside the alphabet and '=' are skipped wherever they stand; a group
// holding padding ends decoding.
template <typename InputIterator>
std::string decode(InputIterator first, InputIterator last) {
  std::string res;
  char group[4];
  int n = 0;
  for (; first != last; ++first) {
    char c = *first;
    if (c != '=' && DECODE_TABLE[static_cast<unsigned char>(c)] == -1) {
      continue;
    }
    group[n++] = c;
    if (n < 4) {
      continue;
    }
    n = 0;
    int pad = 4;
    for (int i = 0; i < 4; ++i) {
      if (group[i] == '=') {
        pad = i;
        break;
      }
    }
    if (pad < 2) {
      return std::string();
    }
    for (int i = pad; i < 4; ++i) {
      if (group[i] != '=') {
        return std::string();
      }
    }
    unsigned int bits = 0;
    for (int i = 0; i < pad; ++i) {
      bits |= DECODE_TABLE[static_cast<unsigned char>(group[i])] << (18 - 6 * i);
    }
    res += static_cast<char>(bits >> 16 & 0xff);
    if (pad > 2) {
      res += static_cast<char>(bits >> 8 & 0xff);
    }
    if (pad > 3) {
      res += static_cast<char>(bits & 0xff);
    }
    if (pad < 4) {
      return res;
    }
  }
  return n == 0 ? res : std::string();
}

}  // namespace base64

}  // namespace quarn

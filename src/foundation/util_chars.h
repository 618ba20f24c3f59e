#pragma once

#include <cstddef>
#include <string>

#include "foundation/util_string.h"

namespace quarn {

namespace util {

constexpr bool isAlpha(char c) {
  return ('A' <= c && c <= 'Z') || ('a' <= c && c <= 'z');
}
constexpr bool isDigit(char c) {
  return '0' <= c && c <= '9';
}
constexpr bool isHexDigit(char c) {
  return isDigit(c) || ('A' <= c && c <= 'F') || ('a' <= c && c <= 'f');
}
constexpr bool isLws(char c) {
  return c == ' ' || c == '\t';
}
constexpr bool isCRLF(char c) {
  return c == '\r' || c == '\n';
}

bool inRFC3986ReservedChars(char c);
bool inRFC3986UnreservedChars(char c);
bool inRFC2978MIMECharset(char c);
bool inRFC2616HttpToken(char c);
bool inRFC5987AttrChar(char c);

// Printable ISO-8859-1: 0x20-0x7E and 0xA0-0xFF.
bool isIso8859p1(unsigned char c);

// Well-formed UTF-8 whose one-byte characters are printable or one of BS,
// TAB, LF, FF and CR.
bool isUtf8(const std::string& str);

// Every byte that is not RFC 3986 unreserved becomes '%' and two upper-case
// hexadecimal digits.
std::string percentEncode(const unsigned char* target, size_t len);
std::string percentEncode(const std::string& target);

// Encodes only space, control bytes, DEL, bytes above 0x7E and '"', '<', '>'.
std::string percentEncodeMini(const std::string& target);

// Encodes every byte except A-Z, a-z and 0-9.
std::string torrentPercentEncode(const unsigned char* target, size_t len);
std::string torrentPercentEncode(const std::string& target);

// Decodes each '%' followed by two hexadecimal digits; copies everything else.
template <typename InputIterator>
std::string percentDecode(InputIterator first, InputIterator last) {
  std::string result;
  for (; first != last; ++first) {
    if (*first == '%') {
      InputIterator high = first;
      ++high;
      if (high != last && isHexDigit(*high)) {
        InputIterator low = high;
        ++low;
        if (low != last && isHexDigit(*low)) {
          result += static_cast<char>(hexCharToUInt(*high) << 4 | hexCharToUInt(*low));
          first = low;
          continue;
        }
      }
    }
    result += *first;
  }
  return result;
}

// The string itself when it is UTF-8, otherwise its percent encoding.
std::string encodeNonUtf8(const std::string& s);

// Empty when the text holds a byte 0x80-0x9F.
std::string iso8859p1ToUtf8(const unsigned char* src, size_t len);
std::string iso8859p1ToUtf8(const std::string& src);

// Replaces '"', '&', '\'', '<' and '>' by their HTML entities.
std::string htmlEscape(const std::string& src);

}  // namespace util

}  // namespace quarn

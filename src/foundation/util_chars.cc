#include "foundation/util_chars.h"

#include <algorithm>

namespace quarn {

namespace util {

namespace {

// The punctuation of the four grammars, read as consecutive slices.
constexpr char DEFAULT_CHARS[] = {
    // RFC 3986 reserved
    ':', '/', '?', '#', '[', ']', '@', '!', '$', '&', '\'', '(', ')', '*', '+', ',', ';', '=',
    // RFC 3986 unreserved punctuation
    '-', '.', '_', '~',
    // RFC 2978 charset punctuation
    '!', '#', '$', '%', '&', '\'', '+', '-', '^', '_', '{', '}', '~', '`',
    // RFC 2616 token punctuation
    '!', '#', '$', '%', '&', '\'', '*', '+', '-', '.', '^', '_', '|', '~', '`'};

constexpr const char* RESERVED_BEGIN = DEFAULT_CHARS;
constexpr const char* UNRESERVED_BEGIN = RESERVED_BEGIN + 18;
constexpr const char* CHARSET_BEGIN = UNRESERVED_BEGIN + 4;
constexpr const char* TOKEN_BEGIN = CHARSET_BEGIN + 14;
constexpr const char* TOKEN_END = TOKEN_BEGIN + 15;
static_assert(TOKEN_END == DEFAULT_CHARS + sizeof(DEFAULT_CHARS));

bool inSlice(const char* first, const char* last, char c) {
  return std::find(first, last, c) != last;
}

bool isAlnum(char c) {
  return isAlpha(c) || isDigit(c);
}

void appendPercentByte(std::string& out, unsigned char c) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out += '%';
  out += digits[c >> 4];
  out += digits[c & 0x0f];
}

template <typename NeedsEncoding>
std::string percentEncodeIf(const unsigned char* target, size_t len, NeedsEncoding needs) {
  std::string dest;
  for (size_t i = 0; i < len; ++i) {
    if (needs(target[i])) {
      appendPercentByte(dest, target[i]);
    } else {
      dest += static_cast<char>(target[i]);
    }
  }
  return dest;
}

// Returns the input unchanged when no byte needs encoding.
template <typename NeedsEncoding>
std::string percentEncodeStringIf(const std::string& target, NeedsEncoding needs) {
  auto first = std::find_if(target.begin(), target.end(),
                            [&needs](char c) { return needs(static_cast<unsigned char>(c)); });
  if (first == target.end()) {
    return target;
  }
  std::string dest(target.begin(), first);
  size_t offset = first - target.begin();
  dest += percentEncodeIf(reinterpret_cast<const unsigned char*>(target.data()) + offset,
                          target.size() - offset, needs);
  return dest;
}

bool notUnreserved(unsigned char c) {
  return !inRFC3986UnreservedChars(c);
}

bool outsideMini(unsigned char c) {
  return c < 0x21 || c > 0x7e || c == '"' || c == '<' || c == '>';
}

bool notAlnum(unsigned char c) {
  return !isAlnum(c);
}

bool inRange(unsigned char c, unsigned char lo, unsigned char hi) {
  return lo <= c && c <= hi;
}

// Length of the well-formed multi-byte character at s[i], or 0.
size_t utf8SequenceLength(const std::string& s, size_t i) {
  auto at = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = at(i);
  unsigned char secondLo = 0x80, secondHi = 0xbf;
  size_t len;
  if (inRange(lead, 0xc2, 0xdf)) {
    len = 2;
  } else if (inRange(lead, 0xe0, 0xef)) {
    len = 3;
    if (lead == 0xe0) {
      secondLo = 0xa0;
    } else if (lead == 0xed) {
      secondHi = 0x9f;
    }
  } else if (inRange(lead, 0xf0, 0xf4)) {
    len = 4;
    if (lead == 0xf0) {
      secondLo = 0x90;
    } else if (lead == 0xf4) {
      secondHi = 0x8f;
    }
  } else {
    return 0;
  }
  if (s.size() - i < len || !inRange(at(i + 1), secondLo, secondHi)) {
    return 0;
  }
  for (size_t k = 2; k < len; ++k) {
    if (!inRange(at(i + k), 0x80, 0xbf)) {
      return 0;
    }
  }
  return len;
}

bool isUtf8SingleByte(unsigned char c) {
  return inRange(c, 0x20, 0x7e) || c == 0x08 || c == '\t' || c == '\n' || c == 0x0c || c == '\r';
}

}  // namespace

bool inRFC3986ReservedChars(char c) {
  return inSlice(RESERVED_BEGIN, UNRESERVED_BEGIN, c);
}

bool inRFC3986UnreservedChars(char c) {
  return isAlnum(c) || inSlice(UNRESERVED_BEGIN, CHARSET_BEGIN, c);
}

bool inRFC2978MIMECharset(char c) {
  return isAlnum(c) || inSlice(CHARSET_BEGIN, TOKEN_BEGIN, c);
}

bool inRFC2616HttpToken(char c) {
  return isAlnum(c) || inSlice(TOKEN_BEGIN, TOKEN_END, c);
}

bool inRFC5987AttrChar(char c) {
  return inRFC2616HttpToken(c) && c != '%' && c != '\'' && c != '*';
}

bool isIso8859p1(unsigned char c) {
  return inRange(c, 0x20, 0x7e) || c >= 0xa0;
}

bool isUtf8(const std::string& str) {
  for (size_t i = 0; i < str.size();) {
    unsigned char c = str[i];
    if (c < 0x80) {
      if (!isUtf8SingleByte(c)) {
        return false;
      }
      ++i;
      continue;
    }
    size_t len = utf8SequenceLength(str, i);
    if (len == 0) {
      return false;
    }
    i += len;
  }
  return true;
}

std::string percentEncode(const unsigned char* target, size_t len) {
  return percentEncodeIf(target, len, notUnreserved);
}

std::string percentEncode(const std::string& target) {
  return percentEncodeStringIf(target, notUnreserved);
}

std::string percentEncodeMini(const std::string& target) {
  return percentEncodeStringIf(target, outsideMini);
}

std::string torrentPercentEncode(const unsigned char* target, size_t len) {
  return percentEncodeIf(target, len, notAlnum);
}

std::string torrentPercentEncode(const std::string& target) {
  return torrentPercentEncode(reinterpret_cast<const unsigned char*>(target.data()), target.size());
}

std::string encodeNonUtf8(const std::string& s) {
  return isUtf8(s) ? s : percentEncode(s);
}

std::string iso8859p1ToUtf8(const unsigned char* src, size_t len) {
  std::string dest;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = src[i];
    if (c < 0x80) {
      dest += static_cast<char>(c);
    } else if (c < 0xa0) {
      return std::string();
    } else if (c < 0xc0) {
      dest += static_cast<char>(0xc2);
      dest += static_cast<char>(c);
    } else {
      dest += static_cast<char>(0xc3);
      dest += static_cast<char>(c - 0x40);
    }
  }
  return dest;
}

std::string iso8859p1ToUtf8(const std::string& src) {
  return iso8859p1ToUtf8(reinterpret_cast<const unsigned char*>(src.data()), src.size());
}

std::string htmlEscape(const std::string& src) {
  std::string dest;
  auto run = src.begin();
  for (auto i = src.begin(); i != src.end(); ++i) {
    const char* entity;
    switch (*i) {
      case '"':
        entity = "&quot;";
        break;
      case '&':
        entity = "&amp;";
        break;
      case '\'':
        entity = "&#39;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      default:
        continue;
    }
    dest.append(run, i);
    dest += entity;
    run = i + 1;
  }
  dest.append(run, src.end());
  return dest;
}

}  // namespace util

}  // namespace quarn

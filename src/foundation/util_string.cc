#include "foundation/util_string.h"

#include <algorithm>

namespace quarn {

namespace util {

std::string strip(const std::string& str, const char* chars) {
  auto p = stripIter(str.begin(), str.end(), chars);
  return std::string(p.first, p.second);
}

std::string replace(const std::string& target, const std::string& oldstr,
                    const std::string& newstr) {
  if (target.empty() || oldstr.empty()) {
    return target;
  }
  std::string result;
  std::string::size_type p = 0;
  for (std::string::size_type np; (np = target.find(oldstr, p)) != std::string::npos;
       p = np + oldstr.size()) {
    result.append(target, p, np - p);
    result += newstr;
  }
  result.append(target, p, std::string::npos);
  return result;
}

bool startsWith(const std::string& a, const char* b) {
  return startsWith(a, std::string(b));
}

bool startsWith(const std::string& a, const std::string& b) {
  return a.size() >= b.size() && a.compare(0, b.size(), b) == 0;
}

bool endsWith(const std::string& a, const char* b) {
  return endsWith(a, std::string(b));
}

bool endsWith(const std::string& a, const std::string& b) {
  return a.size() >= b.size() && a.compare(a.size() - b.size(), b.size(), b) == 0;
}

std::string toUpper(std::string src) {
  uppercase(src);
  return src;
}

std::string toLower(std::string src) {
  lowercase(src);
  return src;
}

void uppercase(std::string& s) {
  std::transform(s.begin(), s.end(), s.begin(), toUpperChar);
}

void lowercase(std::string& s) {
  std::transform(s.begin(), s.end(), s.begin(), toLowerChar);
}

bool istartsWith(const std::string& a, const char* b) {
  return istartsWith(a.begin(), a.end(), b);
}

bool istartsWith(const std::string& a, const std::string& b) {
  return istartsWith(a.begin(), a.end(), b.begin(), b.end());
}

bool iendsWith(const std::string& a, const char* b) {
  return iendsWith(a.begin(), a.end(), b);
}

bool iendsWith(const std::string& a, const std::string& b) {
  return iendsWith(a.begin(), a.end(), b.begin(), b.end());
}

bool strieq(const std::string& a, const char* b) {
  return strieq(a.begin(), a.end(), b);
}

bool strieq(const std::string& a, const std::string& b) {
  return strieq(a.begin(), a.end(), b.begin(), b.end());
}

bool strless(const char* a, const char* b) {
  return std::strcmp(a, b) < 0;
}

std::string toHex(const unsigned char* src, size_t len) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out(len * 2, '\0');
  for (size_t i = 0; i < len; ++i) {
    out[i * 2] = digits[src[i] >> 4];
    out[i * 2 + 1] = digits[src[i] & 0x0f];
  }
  return out;
}

std::string toHex(const char* src, size_t len) {
  return toHex(reinterpret_cast<const unsigned char*>(src), len);
}

std::string toHex(const std::string& src) {
  return toHex(src.data(), src.size());
}

unsigned int hexCharToUInt(unsigned char ch) {
  if ('0' <= ch && ch <= '9') {
    return ch - '0';
  }
  if ('a' <= ch && ch <= 'f') {
    return ch - 'a' + 10;
  }
  if ('A' <= ch && ch <= 'F') {
    return ch - 'A' + 10;
  }
  return 255;
}

bool isHexDigit(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return hexCharToUInt(c) != 255; });
}

std::string makeString(const char* str) {
  return str ? std::string(str) : std::string();
}

std::string safeStrerror(int errNum) {
  return makeString(std::strerror(errNum));
}

}  // namespace util

}  // namespace quarn

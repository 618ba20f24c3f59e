#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

namespace quarn {

class OutputFile;

namespace util {

// Decimal text of a non-negative value; with comma, ',' between groups of
// three digits.
template <typename T>
std::string uitos(T value, bool comma = false) {
  static_assert(std::is_integral_v<T>);
  auto v = static_cast<std::make_unsigned_t<T>>(value);
  if (v == 0) {
    return "0";
  }
  size_t digits = 0;
  for (auto t = v; t; t /= 10) {
    ++digits;
  }
  size_t len = digits + (comma ? (digits - 1) / 3 : 0);
  std::string str(len, '\0');
  size_t pos = len;
  for (size_t i = 0; v; ++i, v /= 10) {
    if (comma && i > 0 && i % 3 == 0) {
      str[--pos] = ',';
    }
    str[--pos] = static_cast<char>('0' + v % 10);
  }
  return str;
}

std::string itos(int64_t value, bool comma = false);

// Whether appending a decimal digit to a non-negative value (value * 10 + digit)
// would exceed the largest signed 64-bit integer.
constexpr bool decimalDigitOverflows(int64_t value, int digit) {
  return value > (std::numeric_limits<int64_t>::max() - digit) / 10;
}

// Duration such as "1h2m3s"; zero gives "0s".
std::string secfmt(int64_t sec);

// Short human size such as "1.4Ki", "12Mi" or "500".
std::string abbrevSize(int64_t size);

// Parsers that leave `res` untouched and return false on failure. Only white
// space may follow the number.
bool parseIntNoThrow(int32_t& res, const std::string& s, int base = 10);
bool parseUIntNoThrow(uint32_t& res, const std::string& s, int base = 10);
bool parseLLIntNoThrow(int64_t& res, const std::string& s, int base = 10);
bool parseDoubleNoThrow(double& res, const std::string& s);

// Byte count of a text such as "10", "1K" or "2m"; throws DlAbortEx on bad,
// negative or overflowing input.
int64_t getRealSize(const std::string& sizeWithUnit);

namespace detail {
void printFileListHeader(OutputFile& out);
void printFileListEntry(OutputFile& out, int index, const std::string& path, int64_t length);
}  // namespace detail

// Writes the numbered listing of the file entries in [first, last), shared or
// uniquely owned: each entry's path, then its length abbreviated and in full.
template <typename InputIterator>
void toStream(InputIterator first, InputIterator last, OutputFile& out) {
  detail::printFileListHeader(out);
  for (int index = 1; first != last; ++first, ++index) {
    detail::printFileListEntry(out, index, (*first)->getPath(), (*first)->getLength());
  }
}

}  // namespace util

}  // namespace quarn

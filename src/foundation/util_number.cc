#include "foundation/util_number.h"

#include <libintl.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "foundation/DlAbortEx.h"
#include "foundation/OutputFile.h"
#include "foundation/i18n.h"

namespace quarn {

namespace util {

std::string itos(int64_t value, bool comma) {
  if (value == std::numeric_limits<int64_t>::min()) {
    return comma ? "-9,223,372,036,854,775,808" : "-9223372036854775808";
  }
  if (value < 0) {
    return "-" + uitos(-value, comma);
  }
  return uitos(value, comma);
}

std::string secfmt(int64_t sec) {
  std::string str;
  int64_t rest = sec;
  if (sec >= 3600) {
    str += std::to_string(sec / 3600) + "h";
    rest = sec % 3600;
  }
  if (rest >= 60) {
    str += std::to_string(rest / 60) + "m";
    rest %= 60;
  }
  if (sec == 0 || rest != 0) {
    str += std::to_string(rest) + "s";
  }
  return str;
}

std::string abbrevSize(int64_t size) {
  static const char* const units[] = {"", "Ki", "Mi", "Gi"};
  int64_t v = size;
  int64_t rem = 0;
  int unit = 0;
  for (; v >= 1024 && unit < 3; ++unit) {
    rem = v & 0x3ff;
    v >>= 10;
  }
  int64_t shown = v;
  int64_t decimalBase = rem;
  // Above 921 the next unit reads better: 0.9Ki rather than 1000.
  if (unit < 3 && v > 921) {
    shown = 0;
    decimalBase = v;
    ++unit;
  }
  std::string str = itos(shown, true);
  if (shown <= 9 && unit != 0) {
    str += ".";
    str += static_cast<char>('0' + decimalBase * 10 / 1024);
  }
  str += units[unit];
  return str;
}

namespace {

bool onlySpaceFollows(const std::string& s, const char* stop) {
  const char* end = s.data() + s.size();
  for (; stop != end; ++stop) {
    if (!std::isspace(static_cast<unsigned char>(*stop))) {
      return false;
    }
  }
  return true;
}

template <typename Convert>
bool parseNoThrow(const std::string& s, Convert convert) {
  if (s.empty()) {
    return false;
  }
  errno = 0;
  char* stop;
  convert(s.c_str(), &stop);
  return errno != ERANGE && onlySpaceFollows(s, stop);
}

}  // namespace

bool parseLLIntNoThrow(int64_t& res, const std::string& s, int base) {
  long long v = 0;
  if (!parseNoThrow(s, [&](const char* p, char** stop) { v = std::strtoll(p, stop, base); })) {
    return false;
  }
  res = v;
  return true;
}

bool parseIntNoThrow(int32_t& res, const std::string& s, int base) {
  int64_t v;
  if (!parseLLIntNoThrow(v, s, base) || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  res = static_cast<int32_t>(v);
  return true;
}

bool parseUIntNoThrow(uint32_t& res, const std::string& s, int base) {
  int64_t v;
  if (!parseLLIntNoThrow(v, s, base) || v < 0 || v > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  res = static_cast<uint32_t>(v);
  return true;
}

bool parseDoubleNoThrow(double& res, const std::string& s) {
  double v = 0;
  if (!parseNoThrow(s, [&](const char* p, char** stop) { v = std::strtod(p, stop); })) {
    return false;
  }
  res = v;
  return true;
}

int64_t getRealSize(const std::string& sizeWithUnit) {
  std::string::size_type p = sizeWithUnit.find_first_of("KMkm");
  std::string number = sizeWithUnit;
  int64_t mult = 1;
  if (p != std::string::npos) {
    number = sizeWithUnit.substr(0, p);
    mult = (sizeWithUnit[p] == 'K' || sizeWithUnit[p] == 'k') ? 1024 : 1024 * 1024;
  }
  int64_t v;
  if (!parseLLIntNoThrow(v, number) || v < 0) {
    throw DL_ABORT_EX("Bad or negative value detected: " + sizeWithUnit);
  }
  if (v > std::numeric_limits<int64_t>::max() / mult) {
    const char* format = gettext("Failed to convert string into value: %s");
    char buf[256];
    std::snprintf(buf, sizeof(buf), format, "overflow/underflow");
    throw DL_ABORT_EX(buf);
  }
  return v * mult;
}

namespace detail {

void printFileListHeader(OutputFile& out) {
  out.printf(
      "%s\nidx|path/length\n"
      "===+===========================================================================\n",
      _("Files:"));
}

void printFileListEntry(OutputFile& out, int index, const std::string& path, int64_t length) {
  out.printf(
      "%3d|%s\n   |%sB (%s)\n"
      "---+---------------------------------------------------------------------------\n",
      index, path.c_str(), abbrevSize(length).c_str(), uitos(length, true).c_str());
}

}  // namespace detail

}  // namespace util

}  // namespace quarn

#include "client/cookie/cookie_helper.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "foundation/util_address.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {
namespace cookie {

namespace {

bool isDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2f) || (c >= 0x3b && c <= 0x40) ||
         (c >= 0x5b && c <= 0x60) || (c >= 0x7b && c <= 0x7e);
}

using Iter = std::string::const_iterator;

// Reads 1 to maxDigits digits at first into value; returns the position
// after them, or first when the run is empty or longer than maxDigits.
Iter readDigits(Iter first, Iter last, int maxDigits, int& value) {
  Iter i = first;
  int v = 0;
  for (; i != last && util::isDigit(*i); ++i) {
    if (i - first == maxDigits) {
      return first;
    }
    v = v * 10 + (*i - '0');
  }
  if (i != first) {
    value = v;
  }
  return i;
}

bool parseTime(Iter first, Iter last, int& hour, int& minute, int& second) {
  int h, m, s;
  Iter i = readDigits(first, last, 2, h);
  if (i == first || i == last || *i != ':') {
    return false;
  }
  Iter j = readDigits(++i, last, 2, m);
  if (j == i || j == last || *j != ':') {
    return false;
  }
  Iter k = readDigits(++j, last, 2, s);
  if (k == j) {
    return false;
  }
  hour = h;
  minute = m;
  second = s;
  return true;
}

bool parseNumberToken(Iter first, Iter last, int maxDigits, int& value) {
  int v;
  if (readDigits(first, last, maxDigits, v) == first) {
    return false;
  }
  value = v;
  return true;
}

int parseMonth(Iter first, Iter last) {
  static const char* const MONTHS[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  if (last - first < 3) {
    return 0;
  }
  for (int m = 0; m < 12; ++m) {
    if (util::strieq(first, first + 3, MONTHS[m])) {
      return m + 1;
    }
  }
  return 0;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool validDate(int year, int month, int day, int hour, int minute, int second) {
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  if ((month == 4 || month == 6 || month == 9 || month == 11) && day > 30) {
    return false;
  }
  if (month == 2 && day > (isLeapYear(year) ? 29 : 28)) {
    return false;
  }
  return true;
}

// The expiry of a Max-Age attribute, or false when the value is not one.
bool parseMaxAge(const std::string& value, int64_t creationTime, int64_t& expiry) {
  if (value.empty()) {
    return false;
  }
  size_t digitsFrom = value[0] == '-' ? 1 : 0;
  if (digitsFrom == value.size() ||
      !std::all_of(value.begin() + digitsFrom, value.end(), util::isDigit)) {
    return false;
  }
  int64_t delta;
  if (!util::parseLLIntNoThrow(delta, value)) {
    return false;
  }
  if (delta <= 0) {
    expiry = 0;
  } else if (creationTime > std::numeric_limits<int64_t>::max() - delta) {
    expiry = std::numeric_limits<int64_t>::max();
  } else {
    expiry = creationTime + delta;
  }
  return true;
}

}  // namespace

bool parseDate(int64_t& time, Iter first, Iter last) {
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  while (first != last) {
    for (; first != last && isDelimiter(*first); ++first) {
    }
    Iter tokenEnd = first;
    for (; tokenEnd != last && !isDelimiter(*tokenEnd); ++tokenEnd) {
    }
    if (first == tokenEnd) {
      break;
    }
    if (!foundTime && parseTime(first, tokenEnd, hour, minute, second)) {
      foundTime = true;
    } else if (!foundDay && parseNumberToken(first, tokenEnd, 2, day)) {
      foundDay = true;
    } else if (!foundMonth && (month = parseMonth(first, tokenEnd)) != 0) {
      foundMonth = true;
    } else if (!foundYear && parseNumberToken(first, tokenEnd, 4, year)) {
      foundYear = true;
    }
    first = tokenEnd;
  }
  if (!foundTime || !foundDay || !foundMonth || !foundYear) {
    return false;
  }
  if (year >= 70 && year <= 99) {
    year += 1900;
  } else if (year >= 0 && year <= 69) {
    year += 2000;
  }
  if (!validDate(year, month, day, hour, minute, second)) {
    return false;
  }
  struct tm tm = {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  time_t t = timegm(&tm);
  if (t == -1) {
    return false;
  }
  time = t;
  return true;
}

bool domainMatch(const std::string& requestHost, const std::string& domain) {
  if (requestHost == domain) {
    return true;
  }
  return requestHost.size() > domain.size() && util::endsWith(requestHost, domain) &&
         requestHost[requestHost.size() - domain.size() - 1] == '.' &&
         !util::isNumericHost(requestHost);
}

bool pathMatch(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath == cookiePath) {
    return true;
  }
  if (!util::startsWith(requestPath, cookiePath)) {
    return false;
  }
  return (!cookiePath.empty() && cookiePath.back() == '/') || requestPath[cookiePath.size()] == '/';
}

std::string canonicalizeHost(const std::string& host) {
  return util::toLower(host);
}

bool goodPath(Iter first, Iter last) {
  return first != last && *first == '/';
}

std::unique_ptr<Cookie> parse(const std::string& setCookieString, const std::string& requestHost,
                              const std::string& defaultPath, int64_t creationTime) {
  if (setCookieString.empty()) {
    return nullptr;
  }
  size_t nvEnd = std::min(setCookieString.find(';'), setCookieString.size());
  size_t eq = setCookieString.find('=');
  if (eq == std::string::npos || eq > nvEnd) {
    return nullptr;
  }
  std::string name = util::strip(setCookieString.substr(0, eq));
  if (name.empty()) {
    return nullptr;
  }
  std::string value =
      util::strip(util::strip(setCookieString.substr(eq + 1, nvEnd - eq - 1)), "\"");

  bool foundMaxAge = false, foundExpires = false, secure = false, httpOnly = false;
  int64_t maxAgeExpiry = 0, expires = 0;
  std::string domain, path;
  bool hasDomain = false, hasPath = false;
  size_t pos = nvEnd;
  while (pos < setCookieString.size()) {
    size_t attrBegin = pos + 1;
    size_t attrEnd = std::min(setCookieString.find(';', attrBegin), setCookieString.size());
    pos = attrEnd;
    auto [nameRange, valueRange] =
        util::divide(setCookieString.cbegin() + attrBegin, setCookieString.cbegin() + attrEnd, '=');
    std::string attrValue(valueRange.first, valueRange.second);
    if (util::strieq(nameRange.first, nameRange.second, "expires")) {
      if (!parseDate(expires, valueRange.first, valueRange.second)) {
        return nullptr;
      }
      foundExpires = true;
    } else if (util::strieq(nameRange.first, nameRange.second, "max-age")) {
      if (!parseMaxAge(attrValue, creationTime, maxAgeExpiry)) {
        return nullptr;
      }
      foundMaxAge = true;
    } else if (util::strieq(nameRange.first, nameRange.second, "domain")) {
      size_t start = attrValue.find_first_not_of('.');
      if (start == std::string::npos) {
        return nullptr;
      }
      domain = attrValue.substr(start);
      hasDomain = true;
    } else if (util::strieq(nameRange.first, nameRange.second, "path")) {
      path = goodPath(attrValue.begin(), attrValue.end()) ? attrValue : defaultPath;
      hasPath = true;
    } else if (util::strieq(nameRange.first, nameRange.second, "secure")) {
      secure = true;
    } else if (util::strieq(nameRange.first, nameRange.second, "httponly")) {
      httpOnly = true;
    }
  }

  bool persistent = foundMaxAge || foundExpires;
  int64_t expiryTime = foundMaxAge    ? maxAgeExpiry
                       : foundExpires ? expires
                                      : std::numeric_limits<int64_t>::max();
  std::string canonicalHost = canonicalizeHost(requestHost);
  bool hostOnly = true;
  if (hasDomain) {
    if (!domainMatch(canonicalHost, domain)) {
      return nullptr;
    }
    hostOnly = util::isNumericHost(canonicalHost);
  } else {
    domain = canonicalHost;
  }
  if (!hasPath) {
    path = defaultPath;
  }
  return std::make_unique<Cookie>(std::move(name), std::move(value), expiryTime, persistent,
                                  std::move(domain), hostOnly, std::move(path), secure, httpOnly,
                                  creationTime);
}

}  // namespace cookie
}  // namespace quarn

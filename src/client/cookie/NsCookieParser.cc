#include "client/cookie/NsCookieParser.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_address.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

const char C_TRUE[] = "TRUE";

// The expiry truncated toward zero. A value beyond the 64-bit range is pinned
// to its end rather than converted, and "nan" is no time at all.
bool parseExpiry(int64_t& expiry, const std::string& field) {
  double value;
  if (!util::parseDoubleNoThrow(value, field) || std::isnan(value)) {
    return false;
  }
  // 2^63 is exact as a double; every double below it converts safely.
  constexpr double LIMIT = 9223372036854775808.0;
  if (value >= LIMIT) {
    expiry = std::numeric_limits<int64_t>::max();
  } else if (value <= -LIMIT) {
    expiry = std::numeric_limits<int64_t>::min();
  } else {
    expiry = static_cast<int64_t>(value);
  }
  return true;
}

std::unique_ptr<Cookie> parseNsCookie(const std::string& line, int64_t creationTime) {
  std::vector<std::string> fields;
  util::split(line.begin(), line.end(), std::back_inserter(fields), '\t', true);
  if (fields.size() < 6) {
    return nullptr;
  }
  std::string domain = fields[0];
  domain.erase(0, std::min(domain.find_first_not_of('.'), domain.size()));
  const std::string& path = fields[2];
  const std::string& name = fields[5];
  if (domain.empty() || name.empty() || !util::startsWith(path, "/")) {
    return nullptr;
  }
  int64_t expiry;
  if (!parseExpiry(expiry, fields[4])) {
    return nullptr;
  }
  auto cookie = std::make_unique<Cookie>();
  cookie->setName(name);
  cookie->setValue(fields.size() >= 7 ? fields[6] : std::string());
  cookie->setDomain(domain);
  cookie->setPath(path);
  if (expiry == 0) {
    cookie->setPersistent(false);
    cookie->setExpiryTime(std::numeric_limits<int64_t>::max());
  } else {
    cookie->setPersistent(true);
    cookie->setExpiryTime(expiry);
  }
  cookie->setHostOnly(util::isNumericHost(domain) || fields[1] != C_TRUE);
  cookie->setSecure(fields[3] == C_TRUE);
  cookie->setCreationTime(creationTime);
  return cookie;
}

}  // namespace

std::vector<std::unique_ptr<Cookie>> NsCookieParser::parse(const std::string& filename,
                                                           int64_t creationTime) {
  BufferedFile fp(filename.c_str(), "rb");
  if (!fp) {
    throw DL_ABORT_EX(fmt("Failed to open file %s", filename.c_str()));
  }
  std::vector<std::unique_ptr<Cookie>> cookies;
  while (true) {
    std::string line = fp.getLine();
    if (line.empty()) {
      if (fp.eof()) {
        break;
      }
      if (!fp) {
        throw DL_ABORT_EX("CookieParser:I/O error.");
      }
      continue;
    }
    if (line[0] == '#') {
      continue;
    }
    auto cookie = parseNsCookie(line, creationTime);
    if (cookie) {
      cookies.push_back(std::move(cookie));
    }
  }
  return cookies;
}

}  // namespace quarn

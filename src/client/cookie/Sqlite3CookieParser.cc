#include "client/cookie/Sqlite3CookieParser.h"

#include <sqlite3.h>

#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_address.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

enum Column { HOST, PATH, SECURE, EXPIRY, NAME, VALUE, LAST_ACCESS, NUM_COLUMNS };

bool parseTime(int64_t& out, const char* text) {
  return text && util::parseLLIntNoThrow(out, text, 10);
}

int cookieRowMapper(void* data, int columns, char** values, char** /*names*/) {
  auto& cookies = *static_cast<std::vector<std::unique_ptr<Cookie>>*>(data);
  if (columns != NUM_COLUMNS || !values[HOST] || !values[PATH] || !values[NAME]) {
    return 0;
  }
  const char* host = values[HOST];
  std::string domain = host;
  domain.erase(0, std::min(domain.find_first_not_of('.'), domain.size()));
  std::string path = values[PATH];
  std::string name = values[NAME];
  if (name.empty() || domain.empty() || !util::startsWith(path, "/")) {
    return 0;
  }
  int64_t expiry;
  int64_t lastAccess;
  if (!parseTime(expiry, values[EXPIRY]) || !parseTime(lastAccess, values[LAST_ACCESS])) {
    return 0;
  }
  bool hostOnly = util::isNumericHost(domain) || host[0] != '.';
  bool secure = values[SECURE] && std::strcmp(values[SECURE], "1") == 0;
  cookies.push_back(std::make_unique<Cookie>(std::move(name), values[VALUE] ? values[VALUE] : "",
                                             expiry, true, std::move(domain), hostOnly,
                                             std::move(path), secure, false, lastAccess));
  return 0;
}

}  // namespace

Sqlite3CookieParser::Sqlite3CookieParser(const std::string& filename) : db_(nullptr) {
  if (sqlite3_open_v2(filename.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

Sqlite3CookieParser::~Sqlite3CookieParser() {
  sqlite3_close(db_);
}

std::vector<std::unique_ptr<Cookie>> Sqlite3CookieParser::parse() {
  if (!db_) {
    throw DL_ABORT_EX("SQLite3 database is not opened.");
  }
  std::vector<std::unique_ptr<Cookie>> cookies;
  char* sqlite3ErrMsg = nullptr;
  int ret = sqlite3_exec(db_, getQuery(), cookieRowMapper, &cookies, &sqlite3ErrMsg);
  std::string errMsg = sqlite3ErrMsg ? sqlite3ErrMsg : "";
  sqlite3_free(sqlite3ErrMsg);
  if (ret != SQLITE_OK) {
    throw DL_ABORT_EX(fmt("Failed to read SQLite3 database: %s", errMsg.c_str()));
  }
  return cookies;
}

const char* Sqlite3MozCookieParser::getQuery() const {
  return "SELECT host, path, isSecure, expiry, name, value, lastAccessed FROM moz_cookies";
}

const char* Sqlite3ChromiumCookieParser::getQuery() const {
  return "SELECT host_key, path, secure, expires_utc / 1000000 - 11644473600 as expires_utc, "
         "name, value, last_access_utc / 1000000 - 11644473600 as last_access_utc FROM cookies";
}

}  // namespace quarn

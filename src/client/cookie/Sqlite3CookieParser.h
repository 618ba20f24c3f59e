#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/cookie/Cookie.h"

struct sqlite3;

namespace quarn {

// Reads cookies, read-only, from a browser's SQLite cookie database. The
// subclasses supply the query; every query yields the columns host, path,
// secure, expiry, name, value and last access.
class Sqlite3CookieParser {
 public:
  explicit Sqlite3CookieParser(const std::string& filename);
  virtual ~Sqlite3CookieParser();
  Sqlite3CookieParser(const Sqlite3CookieParser&) = delete;
  Sqlite3CookieParser& operator=(const Sqlite3CookieParser&) = delete;

  std::vector<std::unique_ptr<Cookie>> parse();

 protected:
  virtual const char* getQuery() const = 0;

 private:
  sqlite3* db_;
};

class Sqlite3MozCookieParser : public Sqlite3CookieParser {
 public:
  using Sqlite3CookieParser::Sqlite3CookieParser;

 protected:
  const char* getQuery() const override;
};

class Sqlite3ChromiumCookieParser : public Sqlite3CookieParser {
 public:
  using Sqlite3CookieParser::Sqlite3CookieParser;

 protected:
  const char* getQuery() const override;
};

}  // namespace quarn

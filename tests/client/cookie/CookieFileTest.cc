#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <limits>
#include <string>

#include "client/cookie/CookieStorage.h"
#include "client/cookie/NsCookieParser.h"
#include "client/cookie/Sqlite3CookieParser.h"
#include "foundation/RecoverableException.h"
#include "foundation/TempDir.h"

namespace quarn {
namespace {

constexpr int64_t NOW = 1000000000;
constexpr int64_t FOREVER = std::numeric_limits<int64_t>::max();

void writeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

void makeDb(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  std::string msg = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  ASSERT_EQ(SQLITE_OK, rc) << msg;
}

class CookieFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(CookieFileTest, NsParserReadsFieldsAndSkipsBadLines) {
  std::string path = dir_.file("cookies.txt");
  writeFile(path,
            "# comment\n"
            "host.alpha.beta\tFALSE\t/\tFALSE\t0\tnp\tv1\n"
            "\n"
            ".alpha.beta\tTRUE\t/dir\tTRUE\t1.7e9\tdom\tv2\n"
            "192.168.0.1\tTRUE\t/\tFALSE\t2000000000\tip\tv3\n"
            "six.beta\tFALSE\t/\tFALSE\t2000000000\tnovalue\n"
            "five.beta\tFALSE\t/\tFALSE\t2000000000\n"
            "nopath.beta\tFALSE\tx\tFALSE\t0\tn\tv\n"
            "badexp.beta\tFALSE\t/\tFALSE\tsoon\tn\tv\n"
            "...\tFALSE\t/\tFALSE\t0\tn\tv\r\n"
            "last.beta\tFALSE\t/\tFALSE\t0\tlast\tv9");
  auto cookies = NsCookieParser().parse(path, NOW);
  ASSERT_EQ(5U, cookies.size());

  EXPECT_EQ("host.alpha.beta", cookies[0]->getDomain());
  EXPECT_TRUE(cookies[0]->getHostOnly());
  EXPECT_FALSE(cookies[0]->getPersistent());
  EXPECT_EQ(FOREVER, cookies[0]->getExpiryTime());
  EXPECT_EQ(NOW, cookies[0]->getCreationTime());
  EXPECT_EQ(0, cookies[0]->getLastAccessTime());

  EXPECT_EQ("alpha.beta", cookies[1]->getDomain());
  EXPECT_FALSE(cookies[1]->getHostOnly());
  EXPECT_TRUE(cookies[1]->getSecure());
  EXPECT_TRUE(cookies[1]->getPersistent());
  EXPECT_EQ(1700000000, cookies[1]->getExpiryTime());
  EXPECT_EQ("/dir", cookies[1]->getPath());

  EXPECT_TRUE(cookies[2]->getHostOnly());  // a numeric address is host-only
  EXPECT_EQ("novalue", cookies[3]->getName());
  EXPECT_EQ("", cookies[3]->getValue());
  EXPECT_EQ("last", cookies[4]->getName());
  EXPECT_EQ("v9", cookies[4]->getValue());
}

TEST_F(CookieFileTest, NsParserExpiryIsTruncatedAndPinnedToTheRange) {
  constexpr int64_t NEVER = std::numeric_limits<int64_t>::min();
  struct Row {
    const char* field;
    bool kept;
    bool persistent;
    int64_t expiry;
  } rows[] = {
      {"0.9", true, false, FOREVER},   // truncates to 0: non-persistent
      {"-0.5", true, false, FOREVER},  // toward zero, not down
      {"1700000000.7", true, true, 1700000000},
      {"1e30", true, true, FOREVER},  // far future stays far future
      {"inf", true, true, FOREVER},
      {"-1e30", true, true, NEVER},  // far past stays expired
      {"9223372036854775808", true, true, FOREVER},
      {"nan", false, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.field);
    std::string path = dir_.file("expiry.txt");
    writeFile(path, std::string("alpha.beta\tFALSE\t/\tFALSE\t") + row.field + "\tn\tv\n");
    auto cookies = NsCookieParser().parse(path, NOW);
    ASSERT_EQ(row.kept ? 1U : 0U, cookies.size());
    if (row.kept) {
      EXPECT_EQ(row.persistent, cookies[0]->getPersistent());
      EXPECT_EQ(row.expiry, cookies[0]->getExpiryTime());
    }
  }
}

TEST_F(CookieFileTest, NsParserFailsOnMissingFile) {
  EXPECT_THROW(NsCookieParser().parse(dir_.file("none"), NOW), RecoverableException);
}

TEST_F(CookieFileTest, SaveAndLoadKeepTheCookies) {
  CookieStorage st;
  st.store(std::make_unique<Cookie>("a", "1", 2000000000, true, "alpha.beta", false, "/p", true,
                                    true, NOW),
           NOW);
  st.store(
      std::make_unique<Cookie>("b", "2", FOREVER, false, "host.beta", true, "/", false, false, NOW),
      NOW);
  // Expired cookies still in the jar are written too.
  st.store(
      std::make_unique<Cookie>("c", "3", NOW + 5, true, "old.beta", true, "/", false, false, NOW),
      NOW);
  std::string path = dir_.file("saved.txt");
  ASSERT_TRUE(st.saveNsFormat(path));
  EXPECT_FALSE(std::ifstream(path + "__temp").good());

  auto cookies = NsCookieParser().parse(path, NOW);
  ASSERT_EQ(3U, cookies.size());
  CookieStorage loaded;
  ASSERT_TRUE(loaded.load(path, NOW));
  for (const auto& c : cookies) {
    EXPECT_TRUE(loaded.contains(*c)) << c->getName();
  }
  for (const auto& c : cookies) {
    if (c->getName() == "a") {
      EXPECT_FALSE(c->getHostOnly());
      EXPECT_TRUE(c->getSecure());
      EXPECT_FALSE(c->getHttpOnly());
      EXPECT_EQ("/p", c->getPath());
      EXPECT_EQ(2000000000, c->getExpiryTime());
    } else if (c->getName() == "b") {
      EXPECT_FALSE(c->getPersistent());
      EXPECT_TRUE(c->getHostOnly());
    }
  }
  // Loading later drops what has expired by then.
  CookieStorage later;
  ASSERT_TRUE(later.load(path, NOW + 10));
  EXPECT_EQ(2U, later.size());
}

TEST_F(CookieFileTest, SaveFailsWhenTheTemporaryFileCannotBeCreated) {
  CookieStorage st;
  EXPECT_FALSE(st.saveNsFormat(dir_.file("missing/dir/cookies")));
}

TEST_F(CookieFileTest, LoadReportsMissingAndBrokenFiles) {
  CookieStorage st;
  EXPECT_FALSE(st.load(dir_.file("none"), NOW));
  std::string fake = dir_.file("fake.sqlite");
  writeFile(fake, std::string("SQLite format 3\0garbage-garbage-garbage", 40));
  EXPECT_FALSE(st.load(fake, NOW));
}

TEST_F(CookieFileTest, LoadsMozillaDatabase) {
  std::string path = dir_.file("moz.sqlite");
  makeDb(path,
         "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, host TEXT,"
         " path TEXT, expiry INTEGER, lastAccessed INTEGER, isSecure INTEGER);"
         "INSERT INTO moz_cookies VALUES (1, 'dom', 'v1', '.alpha.beta', '/', 2000000000,"
         " 900000000, 1);"
         "INSERT INTO moz_cookies VALUES (2, 'host', 'v2', 'host.beta', '/', 2000000000,"
         " 900000000, 0);"
         "INSERT INTO moz_cookies VALUES (3, 'nopath', 'v', 'host.beta', 'x', 2000000000,"
         " 900000000, 0);"
         "INSERT INTO moz_cookies VALUES (4, 'noexp', 'v', 'host.beta', '/', NULL, 1, 0);"
         "INSERT INTO moz_cookies VALUES (5, 'nullvalue', NULL, 'host.beta', '/', 2000000000,"
         " 900000000, 0);");
  auto cookies = Sqlite3MozCookieParser(path).parse();
  ASSERT_EQ(3U, cookies.size());
  EXPECT_EQ("alpha.beta", cookies[0]->getDomain());
  EXPECT_FALSE(cookies[0]->getHostOnly());
  EXPECT_TRUE(cookies[0]->getSecure());
  EXPECT_TRUE(cookies[0]->getPersistent());
  EXPECT_EQ(900000000, cookies[0]->getCreationTime());
  EXPECT_EQ(900000000, cookies[0]->getLastAccessTime());
  EXPECT_TRUE(cookies[1]->getHostOnly());
  EXPECT_FALSE(cookies[1]->getSecure());
  EXPECT_EQ("", cookies[2]->getValue());

  CookieStorage st;
  ASSERT_TRUE(st.load(path, NOW));
  EXPECT_EQ(3U, st.size());
}

TEST_F(CookieFileTest, LoadsChromiumDatabaseAfterMozillaAttemptFails) {
  std::string path = dir_.file("chromium.sqlite");
  // 2000000000 s after 1970 in microseconds after 1601.
  const std::string expires = "(2000000000 + 11644473600) * 1000000";
  makeDb(path,
         "CREATE TABLE cookies (host_key TEXT, name TEXT, value TEXT, path TEXT,"
         " expires_utc INTEGER, secure INTEGER, last_access_utc INTEGER);"
         "INSERT INTO cookies VALUES ('.alpha.beta', 'c', 'v', '/', " +
             expires + ", 0, " + expires + ");");
  EXPECT_THROW(Sqlite3MozCookieParser(path).parse(), RecoverableException);
  auto cookies = Sqlite3ChromiumCookieParser(path).parse();
  ASSERT_EQ(1U, cookies.size());
  EXPECT_EQ(2000000000, cookies[0]->getExpiryTime());
  EXPECT_FALSE(cookies[0]->getSecure());
  EXPECT_FALSE(cookies[0]->getHostOnly());

  CookieStorage st;
  ASSERT_TRUE(st.load(path, NOW));
  EXPECT_EQ(1U, st.size());
}

TEST_F(CookieFileTest, UnopenedDatabaseThrows) {
  EXPECT_THROW(Sqlite3MozCookieParser(dir_.file("none/x.sqlite")).parse(), RecoverableException);
}

}  // namespace
}  // namespace quarn

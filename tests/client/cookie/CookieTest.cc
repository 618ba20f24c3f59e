#include "client/cookie/Cookie.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "client/cookie/cookie_helper.h"

namespace quarn {
namespace {

constexpr int64_t NOW = 1000000000;
constexpr int64_t FOREVER = std::numeric_limits<int64_t>::max();

std::unique_ptr<Cookie> parse(const std::string& value, const std::string& host = "host.alpha.beta",
                              const std::string& defaultPath = "/dir") {
  return cookie::parse(value, host, defaultPath, NOW);
}

// The time of a date text, or -1 when it does not parse.
int64_t dateOf(const std::string& text) {
  int64_t t = -1;
  return cookie::parseDate(t, text.begin(), text.end()) ? t : -1;
}

TEST(CookieTest, ParseSimpleCookie) {
  auto c = parse("a=b", "Host.Alpha.Beta");
  ASSERT_TRUE(c);
  EXPECT_EQ("a", c->getName());
  EXPECT_EQ("b", c->getValue());
  EXPECT_EQ("host.alpha.beta", c->getDomain());
  EXPECT_EQ("/dir", c->getPath());
  EXPECT_TRUE(c->getHostOnly());
  EXPECT_FALSE(c->getPersistent());
  EXPECT_EQ(FOREVER, c->getExpiryTime());
  EXPECT_EQ(NOW, c->getCreationTime());
  EXPECT_EQ(NOW, c->getLastAccessTime());
  EXPECT_EQ("a=b", c->toString());
}

TEST(CookieTest, ParseRejects) {
  for (const char* value :
       {"", "a", "=b", " =b", "a; x=y", "a=b; Expires=garbage", "a=b; Max-Age=+5",
        "a=b; Max-Age=", "a=b; Max-Age=5s", "a=b; Max-Age=-", "a=b; Max-Age=99999999999999999999",
        "a=b; Domain=", "a=b; Domain=..", "a=b; Domain=.gamma.beta", "a=b; Domain=lpha.beta",
        "a=b; Domain=ALPHA.beta"}) {
    EXPECT_FALSE(parse(value)) << value;
  }
}

TEST(CookieTest, ParseValuesAndAttributes) {
  auto c = parse(" a = \"quoted value\" ; Secure; HttpOnly; Path=/p; Path=x; foo=bar");
  ASSERT_TRUE(c);
  EXPECT_EQ("a", c->getName());
  EXPECT_EQ("quoted value", c->getValue());
  EXPECT_TRUE(c->getSecure());
  EXPECT_TRUE(c->getHttpOnly());
  EXPECT_EQ("/dir", c->getPath());  // the later invalid Path falls back
  c = parse("a=");
  ASSERT_TRUE(c);
  EXPECT_EQ("", c->getValue());
  c = parse("a=b=c");
  ASSERT_TRUE(c);
  EXPECT_EQ("b=c", c->getValue());
}

TEST(CookieTest, ParseExpiry) {
  auto c = parse("a=b; Max-Age=0");
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->getPersistent());
  EXPECT_EQ(0, c->getExpiryTime());
  EXPECT_TRUE(c->isExpired(NOW));
  EXPECT_EQ(0, parse("a=b; Max-Age=-5")->getExpiryTime());
  EXPECT_EQ(NOW + 60,
            parse("a=b; Max-Age=60; Expires=Wed, 09 Jun 2021 10:18:14 GMT")->getExpiryTime());
  EXPECT_EQ(NOW + 60,
            parse("a=b; Expires=Wed, 09 Jun 2021 10:18:14 GMT; Max-Age=60")->getExpiryTime());
  c = parse("a=b; Expires=Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_TRUE(c->getPersistent());
  EXPECT_EQ(1623233894, c->getExpiryTime());
  EXPECT_EQ(FOREVER, parse("a=b; Max-Age=9223372036854775807")->getExpiryTime());
}

TEST(CookieTest, ParseDomain) {
  auto c = parse("a=b; Domain=.alpha.beta");
  ASSERT_TRUE(c);
  EXPECT_EQ("alpha.beta", c->getDomain());
  EXPECT_FALSE(c->getHostOnly());
  EXPECT_FALSE(parse("a=b; Domain=.alpha.beta", "host.gamma.beta"));
  c = parse("a=b; Domain=192.0.2.1", "192.0.2.1");
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->getHostOnly());
  EXPECT_EQ("192.0.2.1", c->getDomain());
  EXPECT_FALSE(parse("a=b; Domain=2.1", "192.0.2.1"));
}

TEST(CookieTest, ParseDate) {
  int64_t expected = 784111777;
  EXPECT_EQ(expected, dateOf("Sun, 06 Nov 1994 08:49:37 GMT"));
  EXPECT_EQ(expected, dateOf("Sunday, 06-Nov-94 08:49:37 GMT"));
  EXPECT_EQ(expected, dateOf("Sun Nov  6 08:49:37 1994"));
  EXPECT_EQ(-1, dateOf("06 Nov 1600 08:49:37"));
  EXPECT_EQ(-1, dateOf("31 Apr 2020 00:00:00"));
  EXPECT_EQ(-1, dateOf("29 Feb 1900 00:00:00"));
  EXPECT_NE(-1, dateOf("29 Feb 2000 00:00:00"));
  EXPECT_EQ(-1, dateOf("06 Nov 1994"));
  EXPECT_EQ(-1, dateOf("06 Nov 1994 24:00:00"));
  EXPECT_EQ(-1, dateOf("32 Nov 1994 00:00:00"));
  EXPECT_EQ(-1, dateOf(""));
  EXPECT_EQ(3124224000, dateOf("01 Jan 69 00:00:00"));
}

TEST(CookieTest, DomainAndPathMatch) {
  EXPECT_TRUE(cookie::domainMatch("a.alpha.beta", "alpha.beta"));
  EXPECT_TRUE(cookie::domainMatch("alpha.beta", "alpha.beta"));
  EXPECT_FALSE(cookie::domainMatch("aalpha.beta", "alpha.beta"));
  EXPECT_FALSE(cookie::domainMatch("192.0.2.1", "0.2.1"));
  EXPECT_FALSE(cookie::domainMatch("a.Alpha.beta", "alpha.beta"));
  EXPECT_TRUE(cookie::pathMatch("/dir/file", "/dir"));
  EXPECT_TRUE(cookie::pathMatch("/dir/file", "/dir/"));
  EXPECT_TRUE(cookie::pathMatch("/dir", "/dir"));
  EXPECT_FALSE(cookie::pathMatch("/dirx", "/dir"));
  EXPECT_FALSE(cookie::pathMatch("/", "/dir"));
  EXPECT_EQ("host.alpha", cookie::canonicalizeHost("HoSt.Alpha"));
}

TEST(CookieTest, Match) {
  Cookie hostOnly("a", "b", FOREVER, false, "host.alpha.beta", true, "/dir", false, false, NOW);
  EXPECT_TRUE(hostOnly.match("host.alpha.beta", "/dir/x", NOW, false));
  EXPECT_FALSE(hostOnly.match("x.host.alpha.beta", "/dir/x", NOW, false));
  EXPECT_FALSE(hostOnly.match("host.alpha.beta", "/other", NOW, false));
  Cookie domain("a", "b", NOW, true, "alpha.beta", false, "/", true, false, NOW);
  EXPECT_TRUE(domain.match("x.alpha.beta", "/", NOW, true));
  EXPECT_FALSE(domain.match("x.alpha.beta", "/", NOW, false));
  EXPECT_FALSE(domain.match("x.alpha.beta", "/", NOW + 1, true));
  EXPECT_TRUE(domain.isExpired(NOW + 1));
  EXPECT_FALSE(hostOnly.isExpired(FOREVER));
}

TEST(CookieTest, NsCookieFormatAndEquality) {
  Cookie c("n", "v", 1234, true, "alpha.beta", false, "/p", true, false, NOW);
  EXPECT_EQ(".alpha.beta\tTRUE\t/p\tTRUE\t1234\tn\tv", c.toNsCookieFormat());
  Cookie h("n", "w", 1234, false, "alpha.beta", true, "/p", false, true, NOW + 5);
  EXPECT_EQ("alpha.beta\tFALSE\t/p\tFALSE\t0\tn\tw", h.toNsCookieFormat());
  EXPECT_TRUE(c == h);
  h.setPath("/q");
  EXPECT_TRUE(c != h);
}

}  // namespace
}  // namespace quarn

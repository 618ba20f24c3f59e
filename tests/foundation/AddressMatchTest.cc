#include <gtest/gtest.h>

#include "foundation/util_address.h"

namespace quarn {
namespace {

TEST(AddressMatchTest, IsNumericHost) {
  EXPECT_TRUE(util::isNumericHost("192.168.0.1"));
  EXPECT_TRUE(util::isNumericHost("::1"));
  EXPECT_TRUE(util::isNumericHost("fe80::1"));
  EXPECT_FALSE(util::isNumericHost("localhost"));
  EXPECT_FALSE(util::isNumericHost("mirror.lan"));
  EXPECT_FALSE(util::isNumericHost(""));
}

TEST(AddressMatchTest, InPrivateAddress) {
  struct Case {
    const char* addr;
    bool isPrivate;
  } cases[] = {
      {"10.0.0.1", true},   {"192.168.1.1", true}, {"172.16.0.1", true},   {"172.31.255.1", true},
      {"172.20.1.1", true}, {"172.15.0.1", false}, {"172.32.0.1", false},  {"172.3.0.1", false},
      {"172.1", false},     {"11.0.0.1", false},   {"192.169.0.1", false}, {"100.10.0.1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.isPrivate, util::inPrivateAddress(c.addr)) << c.addr;
  }
}

TEST(AddressMatchTest, NoProxyDomainMatch) {
  struct Case {
    const char* host;
    const char* rule;
    bool match;
  } cases[] = {
      {"a.mirror.lan", ".mirror.lan", true},  {"a.mirror.lan", "mirror.lan", false},
      {"mirror.lan", ".mirror.lan", false},   {"mirror.lan", "mirror.lan", true},
      {"10.0.0.1", ".0.0.1", false},          {"10.0.0.1", "10.0.0.1", true},
      {"A.MIRROR.LAN", ".mirror.lan", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.match, util::noProxyDomainMatch(c.host, c.rule)) << c.host << " " << c.rule;
  }
}

TEST(AddressMatchTest, TlsHostnameMatch) {
  struct Case {
    const char* pattern;
    const char* host;
    bool match;
  } cases[] = {
      {"*.mirror.lan", "NODE.Mirror.LAN", true},
      {"*.mirror.lan", "a.b.mirror.lan", false},
      {"*.mirror.lan", "mirror.lan", false},
      {"*.mirror.lan", ".mirror.lan", false},
      {"f*o.mirror.lan", "foo.mirror.lan", true},
      {"f*o.mirror.lan", "fxyzo.mirror.lan", true},
      {"f*o.mirror.lan", "fo.mirror.lan", false},
      {"f*o.mirror.lan", "fox.mirror.lan", false},
      {"*.lan", "a.lan", false},
      {"*.lan", "*.lan", true},
      {"xn--*.mirror.lan", "xn--abc.mirror.lan", false},
      {"XN--*.mirror.lan", "xn--abc.mirror.lan", false},
      {"a.*.lan", "a.b.lan", false},
      {"a.*.lan", "A.*.LAN", true},
      {"Mirror.Lan", "mirror.lan", true},
      {"mirror.lan", "mirror.lan.", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.match, util::tlsHostnameMatch(c.pattern, c.host)) << c.pattern << " " << c.host;
  }
}

}  // namespace
}  // namespace quarn

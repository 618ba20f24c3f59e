#include "net/net_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>

namespace quarn {

namespace {

std::string bin(const char* text) {
  unsigned char buf[16];
  size_t len = net::getBinAddr(buf, text);
  return std::string(reinterpret_cast<char*>(buf), len);
}

}  // namespace

TEST(net_addressTest, GetBinAddrConvertsOnlyNumericAddresses) {
  unsigned char buf[16];
  ASSERT_EQ(4u, net::getBinAddr(buf, "192.168.0.1"));
  EXPECT_EQ(0, memcmp(buf, "\xc0\xa8\x00\x01", 4));
  ASSERT_EQ(16u, net::getBinAddr(buf, "::1"));
  EXPECT_EQ(1, buf[15]);
  EXPECT_EQ(0u, net::getBinAddr(buf, "localhost"));
  EXPECT_EQ(0u, net::getBinAddr(buf, ""));
}

TEST(net_addressTest, InetPtonChecksTheFamily) {
  in_addr a4;
  ASSERT_EQ(0, inetPton(AF_INET, "10.1.2.3", &a4));
  EXPECT_EQ(htonl(0x0a010203), a4.s_addr);

  unsigned char dst[16];
  memset(dst, 0xab, sizeof(dst));
  EXPECT_EQ(-1, inetPton(AF_INET, "::1", dst));
  EXPECT_EQ(-1, inetPton(AF_INET6, "10.1.2.3", dst));
  for (unsigned char c : dst) {
    EXPECT_EQ(0xab, c);
  }
  in6_addr a6;
  ASSERT_EQ(0, inetPton(AF_INET6, "2001:db8::5", &a6));
}

TEST(net_addressTest, InetNtopRoundTripsAndRejectsOtherFamilies) {
  char text[NI_MAXHOST];
  in_addr a4;
  inetPton(AF_INET, "10.1.2.3", &a4);
  ASSERT_EQ(0, inetNtop(AF_INET, &a4, text, sizeof(text)));
  EXPECT_STREQ("10.1.2.3", text);
  in6_addr a6;
  inetPton(AF_INET6, "2001:db8::5", &a6);
  ASSERT_EQ(0, inetNtop(AF_INET6, &a6, text, sizeof(text)));
  EXPECT_STREQ("2001:db8::5", text);
  EXPECT_EQ(EAI_FAMILY, inetNtop(AF_UNIX, &a4, text, sizeof(text)));
}

TEST(net_addressTest, VerifyHostname) {
  using V = std::vector<std::string>;
  struct Case {
    const char* hostname;
    V dnsNames;
    V ipAddrs;
    const char* commonName;
    bool expected;
  } cases[] = {
      // Numeric host: only IP names count; the common name only without them.
      {"127.0.0.1", {}, {}, "127.0.0.1", true},
      {"127.0.0.1", {}, {bin("127.0.0.2")}, "127.0.0.1", false},
      {"127.0.0.1", {"127.0.0.1"}, {bin("127.0.0.1")}, "x", true},
      {"::1", {}, {bin("::1")}, "", true},
      {"::1", {}, {bin("127.0.0.1")}, "::1", false},
      // Name host: DNS names decide when present, wildcards in the left label.
      {"www.example.org", {"*.example.org"}, {}, "other", true},
      {"www.example.org", {"other.example.org"}, {}, "www.example.org", false},
      {"www.example.org", {}, {}, "www.example.org", true},
      {"www.example.org", {}, {}, "*.example.org", true},
      {"WWW.Example.org", {"www.example.ORG"}, {}, "", true},
      {"example.org", {"*.org"}, {}, "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, net::verifyHostname(c.hostname, c.dnsNames, c.ipAddrs, c.commonName))
        << c.hostname << " / " << c.commonName;
  }
}

TEST(net_addressTest, DefaultFlagsAreAddedToLookups) {
  EXPECT_EQ(AI_ADDRCONFIG, getDefaultAIFlags());
  setDefaultAIFlags(0);
  addrinfo* res = nullptr;
  ASSERT_EQ(0, callGetaddrinfo(&res, "127.0.0.1", "80", AF_UNSPEC, SOCK_STREAM, AI_NUMERICHOST, 0));
  EXPECT_EQ(AF_INET, res->ai_family);
  freeaddrinfo(res);
  setDefaultAIFlags(AI_ADDRCONFIG);
}

TEST(net_addressTest, InSameCidrBlock) {
  struct Case {
    const char* a;
    const char* b;
    size_t bits;
    bool same;
  } cases[] = {
      {"192.168.0.1", "192.168.0.254", 24, true},
      {"192.168.0.1", "192.168.0.254", 25, false},
      {"192.168.0.1", "192.168.0.127", 25, true},
      {"192.168.0.1", "::1", 0, false},
      {"192.168.0.1", "10.0.0.1", 0, true},
      {"fe80::1", "fe80::2", 64, true},
      {"fe80::1", "fe80::2", 128, false},
      {"10.0.0.1", "10.0.0.1", 200, true},
      {"10.0.0.1", "10.0.0.2", 200, false},
      {"10.0.0.1", "11.0.0.1", 7, true},
      {"10.0.0.1", "11.0.0.1", 8, false},
      {"10.0.0.1", "host", 8, false},
      {"host", "host", 8, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.same, net::inSameCidrBlock(c.a, c.b, c.bits)) << c.a << " " << c.b << "/" << c.bits;
  }
}

}  // namespace quarn

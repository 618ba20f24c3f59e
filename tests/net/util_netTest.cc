#include "net/util_net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "foundation/DlAbortEx.h"
#include "net/SockAddr.h"

namespace quarn {

TEST(util_netTest, NumericNameInfoOfBothFamilies) {
  sockaddr_union su{};
  su.in.sin_family = AF_INET;
  su.in.sin_port = htons(6881);
  inet_pton(AF_INET, "192.0.2.7", &su.in.sin_addr);
  Endpoint e = util::getNumericNameInfo(&su.sa, sizeof(su.in));
  EXPECT_EQ("192.0.2.7", e.addr);
  EXPECT_EQ(AF_INET, e.family);
  EXPECT_EQ(6881, e.port);

  su = {};
  su.in6.sin6_family = AF_INET6;
  su.in6.sin6_port = htons(443);
  inet_pton(AF_INET6, "2001:db8::1", &su.in6.sin6_addr);
  e = util::getNumericNameInfo(&su.sa, sizeof(su.in6));
  EXPECT_EQ("2001:db8::1", e.addr);
  EXPECT_EQ(AF_INET6, e.family);
  EXPECT_EQ(443, e.port);
}

TEST(util_netTest, NumericNameInfoOfUnknownFamilyThrows) {
  sockaddr_union su{};
  su.sa.sa_family = AF_UNSPEC;
  try {
    util::getNumericNameInfo(&su.sa, sizeof(su.in));
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(0u, std::string(e.what()).find("Failed to get hostname and port. cause: "));
  }
}

TEST(util_netTest, TLSVersionFromOptionText) {
  EXPECT_EQ(TLS_PROTO_TLS11, util::toTLSVersion("TLSv1.1"));
  EXPECT_EQ(TLS_PROTO_TLS12, util::toTLSVersion("TLSv1.2"));
  EXPECT_EQ(TLS_PROTO_TLS13, util::toTLSVersion("TLSv1.3"));
  EXPECT_EQ(TLS_PROTO_TLS12, util::toTLSVersion("tlsv1.3"));
  EXPECT_EQ(TLS_PROTO_TLS12, util::toTLSVersion(""));
}

}  // namespace quarn

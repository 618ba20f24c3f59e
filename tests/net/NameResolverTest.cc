#include "net/NameResolver.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include "foundation/DlAbortEx.h"

namespace quarn {

TEST(NameResolverTest, ResolvesHostsEntryToNumericText) {
  NameResolver resolver;
  resolver.setSocktype(SOCK_STREAM);
  resolver.setFamily(AF_INET);
  std::vector<std::string> addrs{"kept"};
  resolver.resolve(addrs, "localhost");
  ASSERT_EQ(2u, addrs.size());
  EXPECT_EQ("kept", addrs[0]);
  EXPECT_EQ("127.0.0.1", addrs[1]);
}

TEST(NameResolverTest, NumericAddressOfOtherFamilyFailsWithResolveErrorCode) {
  NameResolver resolver;
  resolver.setSocktype(SOCK_STREAM);
  resolver.setFamily(AF_INET);
  std::vector<std::string> addrs{"kept"};
  try {
    resolver.resolve(addrs, "::1");
    FAIL() << "resolved an IPv6 literal as IPv4";
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(error_code::NAME_RESOLVE_ERROR, e.getErrorCode());
    EXPECT_EQ(0u, std::string(e.what()).find("Failed to resolve the hostname ::1, cause: "));
  }
  EXPECT_EQ(std::vector<std::string>{"kept"}, addrs);
}

}  // namespace quarn

#include "client/common/userinfo.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

TEST(UserinfoTest, Erase) {
  struct Case {
    const char* uri;
    const char* erased;
  } cases[] = {
      {"http://u:p@host/x", "http://host/x"},           {"http://u@host", "http://host"},
      {"ftp://u:p@w@host:21/a@b", "ftp://host:21/a@b"}, {"http://host/a@b", "http://host/a@b"},
      {"http://host?q=a@b", "http://host?q=a@b"},       {"http://u:p@[::1", "http://[::1"},
      {"no scheme u:p@host", "no scheme u:p@host"},     {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.erased, userinfo::erase(c.uri)) << c.uri;
  }
}

}  // namespace
}  // namespace quarn

#include "foundation/fmt.h"

#include <gtest/gtest.h>

#include "foundation/QNSTR.h"

namespace quarn {

TEST(fmtTest, FormatsLikePrintf) {
  EXPECT_EQ("a=1 b=xy c=ff", fmt("a=%d b=%s c=%x", 1, "xy", 255));
  EXPECT_EQ("", fmt("%s", ""));
}

TEST(fmtTest, LongResultIsCutAt2047Bytes) {
  std::string big(3000, 'x');
  std::string res = fmt("%s", big.c_str());
  EXPECT_EQ(2047u, res.size());
  EXPECT_EQ(big.substr(0, 2047), res);
}

TEST(fmtTest, NilIsEmpty) {
  EXPECT_TRUE(QNSTR::NIL.empty());
}

}  // namespace quarn

#include "foundation/SHA1IOFile.h"

#include <gtest/gtest.h>

#include "foundation/util_string.h"

namespace quarn {

TEST(SHA1IOFileTest, PiecesHashLikeTheWhole) {
  SHA1IOFile pieces;
  EXPECT_EQ(1u, pieces.write("a"));
  EXPECT_EQ(2u, pieces.write("bc", 2));
  SHA1IOFile whole;
  whole.write("abc");
  std::string digest = pieces.digest();
  ASSERT_EQ(20u, digest.size());
  EXPECT_EQ(whole.digest(), digest);
  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", util::toHex(digest));
  EXPECT_TRUE(pieces);
  EXPECT_FALSE(pieces.eof());
  EXPECT_FALSE(pieces.supportsColor());
  EXPECT_EQ(0, pieces.flush());
  EXPECT_EQ(0, pieces.close());
}

}  // namespace quarn

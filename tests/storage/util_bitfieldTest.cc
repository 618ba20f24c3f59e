#include "storage/util_bitfield.h"

#include <gtest/gtest.h>

#include "storage/BitfieldMan.h"

namespace quarn {

namespace {

constexpr int32_t KIB16 = 16 * 1024;
constexpr int32_t KIB32 = 32 * 1024;

}  // namespace

TEST(UtilBitfieldTest, DestinationBlockNeedsEveryOverlappingSourceBlock) {
  BitfieldMan src(KIB16, 4 * KIB16);
  BitfieldMan dest(KIB32, 4 * KIB16);
  src.setBit(0);
  util::convertBitfield(&dest, &src);
  EXPECT_FALSE(dest.isBitSet(0));
  src.setBit(1);
  util::convertBitfield(&dest, &src);
  EXPECT_TRUE(dest.isBitSet(0));
  EXPECT_FALSE(dest.isBitSet(1));
}

TEST(UtilBitfieldTest, LastShortBlockAndKeptBits) {
  // 5 source blocks of 16 KiB and 3 destination blocks of 32 KiB; the last
  // destination block reaches past the total length.
  BitfieldMan src(KIB16, 5 * KIB16);
  BitfieldMan dest(KIB32, 5 * KIB16);
  dest.setBit(1);
  src.setBit(4);
  util::convertBitfield(&dest, &src);
  EXPECT_FALSE(dest.isBitSet(0));
  EXPECT_TRUE(dest.isBitSet(1));
  EXPECT_TRUE(dest.isBitSet(2));
}

}  // namespace quarn

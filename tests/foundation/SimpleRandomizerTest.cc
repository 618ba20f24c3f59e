#include "foundation/SimpleRandomizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "foundation/util_random.h"

namespace quarn {
namespace {

TEST(SimpleRandomizerTest, InstanceIsShared) {
  EXPECT_EQ(SimpleRandomizer::getInstance().get(), SimpleRandomizer::getInstance().get());
}

TEST(SimpleRandomizerTest, BoundOfOneGivesZero) {
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(0, SimpleRandomizer::getInstance()->getRandomNumber(1));
  }
}

TEST(SimpleRandomizerTest, ValuesCoverTheWholeRangeAndStayInIt) {
  std::array<int, 6> seen{};
  for (int i = 0; i < 6000; ++i) {
    auto v = SimpleRandomizer::getInstance()->getRandomNumber(6);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 6);
    ++seen[v];
  }
  for (int count : seen) {
    EXPECT_GT(count, 0);
  }
}

TEST(SimpleRandomizerTest, LargeBoundsStayInRange) {
  const int64_t bounds[] = {2, (int64_t{1} << 32) + 1, INT64_MAX};
  for (int64_t bound : bounds) {
    for (int i = 0; i < 1000; ++i) {
      auto v = SimpleRandomizer::getInstance()->getRandomNumber(bound);
      ASSERT_GE(v, 0);
      ASSERT_LT(v, bound);
    }
  }
}

TEST(SimpleRandomizerDeathTest, NonPositiveBoundAborts) {
  EXPECT_DEATH(SimpleRandomizer::getInstance()->getRandomNumber(0), "to > 0");
  EXPECT_DEATH(SimpleRandomizer::getInstance()->getRandomNumber(-5), "to > 0");
}

TEST(SimpleRandomizerTest, ServesStandardShuffle) {
  std::vector<int> v(100);
  std::iota(v.begin(), v.end(), 0);
  auto shuffled = v;
  std::shuffle(shuffled.begin(), shuffled.end(), *SimpleRandomizer::getInstance());
  EXPECT_TRUE(std::is_permutation(v.begin(), v.end(), shuffled.begin()));
  EXPECT_NE(v, shuffled);
}

// Numbers come from a pool refilled a block at a time: across refills none is
// handed out twice (300 draws of 32 bits repeat one by chance once in
// about 100,000 runs).
TEST(SimpleRandomizerTest, DrawnNumbersDoNotRepeatAcrossRefills) {
  auto& r = *SimpleRandomizer::getInstance();
  std::vector<SimpleRandomizer::result_type> drawn(300);
  std::generate(drawn.begin(), drawn.end(), [&] { return r(); });
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(drawn.end(), std::adjacent_find(drawn.begin(), drawn.end()));
}

TEST(SimpleRandomizerTest, RandomKeyWritesExactlyTwentyFreshBytes) {
  std::array<unsigned char, 24> a, b;
  a.fill(0xAB);
  b.fill(0xAB);
  util::generateRandomKey(a.data());
  util::generateRandomKey(b.data());
  EXPECT_NE(0, memcmp(a.data(), b.data(), 20));
  for (size_t i = 20; i < a.size(); ++i) {
    EXPECT_EQ(0xAB, a[i]);
    EXPECT_EQ(0xAB, b[i]);
  }
}

}  // namespace
}  // namespace quarn

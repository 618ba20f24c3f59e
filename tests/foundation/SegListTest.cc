#include "foundation/SegList.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace quarn {
namespace {

std::vector<int> drain(SegList<int>& sl) {
  std::vector<int> values;
  while (sl.hasNext()) {
    values.push_back(sl.next());
  }
  return values;
}

TEST(SegListTest, NormalizeSortsAndMergesThenWalks) {
  SegList<int> sl;
  sl.add(5, 7);
  sl.add(1, 3);
  sl.add(2, 4);
  sl.normalize();
  EXPECT_EQ((std::vector<int>{1, 2, 3, 5, 6}), drain(sl));
  EXPECT_FALSE(sl.hasNext());
  EXPECT_EQ(0, sl.next());
}

TEST(SegListTest, TouchingRangesMerge) {
  SegList<int> sl;
  sl.add(3, 5);
  sl.add(1, 3);
  sl.add(1, 2);
  sl.normalize();
  ASSERT_EQ(1u, sl.getSegments().size());
  EXPECT_EQ(std::make_pair(1, 5), sl.getSegments()[0]);
}

TEST(SegListTest, EmptyAndReversedRanges) {
  SegList<int> sl;
  EXPECT_FALSE(sl.hasNext());
  sl.add(4, 4);
  sl.add(5, 2);
  sl.normalize();
  EXPECT_FALSE(sl.hasNext());
  EXPECT_EQ(0, sl.next());
}

TEST(SegListTest, WalksWithoutNormalizeFromFirstStart) {
  SegList<int> sl;
  sl.add(7, 9);
  sl.add(1, 2);
  EXPECT_EQ((std::vector<int>{7, 8, 1}), drain(sl));
}

TEST(SegListTest, RangeUpToLargestValueWalksToItsEnd) {
  SegList<int> sl;
  sl.add(INT_MAX - 2, INT_MAX);
  sl.normalize();
  EXPECT_EQ((std::vector<int>{INT_MAX - 2, INT_MAX - 1}), drain(sl));
}

}  // namespace
}  // namespace quarn

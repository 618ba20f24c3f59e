#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "foundation/DlAbortEx.h"
#include "foundation/util_range.h"

namespace quarn {
namespace {

using Ranges = std::vector<std::pair<int, int>>;

TEST(ParseIntSegmentsTest, ReadsRangesInOrder) {
  struct Case {
    const char* text;
    Ranges ranges;
  } cases[] = {
      {"1,3-5,,8", {{1, 2}, {3, 6}, {8, 9}}},
      {" 7 , 2 - 4", {{7, 8}, {2, 5}}},
      {"5-3", {}},
      {"", {}},
      {"2147483646", {{2147483646, 2147483647}}},
      {"1-2147483646", {{1, 2147483647}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.ranges, util::parseIntSegments(c.text).getSegments()) << c.text;
  }
}

TEST(ParseIntSegmentsTest, Errors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"-3", "Incomplete range specified. -3"},
      {"3-", "Incomplete range specified. 3-"},
      {"1-x", "Bad range 1-x"},
      {"x", "Bad range x"},
      {"1,x-2", "Bad range x-2"},
      {"99999999999", "Bad range 99999999999"},
      // The exclusive end one past the largest int cannot be represented.
      {"2147483647", "Bad range 2147483647"},
      {"1-2147483647", "Bad range 1-2147483647"},
  };
  for (const auto& c : cases) {
    try {
      util::parseIntSegments(c.text);
      ADD_FAILURE() << "no exception for " << c.text;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ(c.message, e.what()) << c.text;
    }
  }
}

TEST(ParseIntSegmentsTest, NormalisedListWalksValues) {
  auto sgl = util::parseIntSegments("8,3-5,4-6,1");
  sgl.normalize();
  std::vector<int> values;
  while (sgl.hasNext()) {
    values.push_back(sgl.next());
  }
  EXPECT_EQ((std::vector<int>{1, 3, 4, 5, 6, 8}), values);
}

}  // namespace
}  // namespace quarn

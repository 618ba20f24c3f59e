#include <gtest/gtest.h>

#include <climits>
#include <memory>
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

using Indexes = std::vector<size_t>;
using Entries = std::vector<util::FileSpan>;

Indexes priorities(const std::string& rules, const Entries& entries, size_t pieceLength) {
  Indexes out{99};
  util::parsePrioritizePieceRange(out, rules, entries, pieceLength);
  return out;
}

TEST(PrioritizePieceRangeTest, HeadAndTailOfEveryFile) {
  Entries one{util::FileSpan{0, 10000}};
  EXPECT_EQ((Indexes{99, 0, 8, 9}), priorities("head=1K,tail=1K", one, 1024));
  EXPECT_EQ((Indexes{99, 0, 9}), priorities(" head=1 , tail=1,, ", one, 1024));
  Entries three{util::FileSpan{0, 3000}, util::FileSpan{3000, 0}, util::FileSpan{3000, 5000}};
  // Default size 1M covers each whole file; the empty file adds nothing.
  EXPECT_EQ((Indexes{99, 0, 1, 2, 3, 4, 5, 6, 7}), priorities("head", three, 1024));
  EXPECT_EQ((Indexes{99, 1, 2, 6, 7}), priorities("tail=1500", three, 1024));
  EXPECT_EQ((Indexes{99, 0}), priorities("head,tail", three, 0));
  EXPECT_EQ((Indexes{99}), priorities("head=0", three, 1024));
  EXPECT_EQ((Indexes{99}), priorities("", three, 1024));
}

TEST(PrioritizePieceRangeTest, UnknownRulesAndSizesThrow) {
  Entries one{util::FileSpan{0, 10000}};
  for (const char* rules : {"middle", "head=x", "heads", "tail=", "head,foo"}) {
    Indexes out;
    EXPECT_THROW(util::parsePrioritizePieceRange(out, rules, one, 1024), DlAbortEx) << rules;
  }
  Indexes out;
  try {
    util::parsePrioritizePieceRange(out, "head,middle", one, 1024);
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Unrecognized token middle", e.what());
  }
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace quarn

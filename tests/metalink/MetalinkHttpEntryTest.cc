#include "metalink/MetalinkHttpEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quarn {
namespace {

MetalinkHttpEntry entry(const std::string& uri, int32_t pri, bool pref) {
  MetalinkHttpEntry e;
  e.uri = uri;
  e.pri = pri;
  e.pref = pref;
  return e;
}

TEST(MetalinkHttpEntryTest, DefaultsAreWorstPriorityNotPreferred) {
  MetalinkHttpEntry e;
  EXPECT_EQ("", e.uri);
  EXPECT_EQ(999999, e.pri);
  EXPECT_FALSE(e.pref);
  EXPECT_EQ("", e.geo);
}

TEST(MetalinkHttpEntryTest, SortPutsPreferredFirstThenAscendingPriority) {
  std::vector<MetalinkHttpEntry> v = {entry("c", 1, false), entry("b", 50, true),
                                      entry("d", 999999, false), entry("a", 3, true)};
  std::sort(v.begin(), v.end());
  std::vector<std::string> uris;
  for (const auto& e : v) {
    uris.push_back(e.uri);
  }
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), uris);
  EXPECT_FALSE(v[0] < v[0]);
}

TEST(MetalinkHttpEntryTest, SwapExchangesAllFields) {
  auto a = entry("a", 1, true);
  a.geo = "de";
  auto b = entry("b", 2, false);
  swap(a, b);
  EXPECT_EQ("b", a.uri);
  EXPECT_EQ(2, a.pri);
  EXPECT_FALSE(a.pref);
  EXPECT_EQ("", a.geo);
  EXPECT_EQ("a", b.uri);
  EXPECT_EQ(1, b.pri);
  EXPECT_TRUE(b.pref);
  EXPECT_EQ("de", b.geo);
  a.swap(a);
  EXPECT_EQ("b", a.uri);
}

}  // namespace
}  // namespace quarn

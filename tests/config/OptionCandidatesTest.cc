#include <gtest/gtest.h>

#include "config/option_processing.h"

namespace quarn {

TEST(OptionCandidatesTest, WeightedDistance) {
  struct Case {
    const char* typed;
    const char* name;
    int score;
  } cases[] = {
      {"timeuot", "timeout", 0},     // adjacent swap is free
      {"maxtries", "max-tries", 1},  // one missing character
      {"dri-run", "dry-run", 2},     // one substitution
      {"xyzzy", "log", 8},
      {"xyzzy", "gid", 8},
      {"dry-runx", "dry-run", 4},  // one extra character
      {"xdry-run", "dry-run", 1},  // extra leading characters cost 1
      {"", "dir", 3},
      {"dir", "", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.score, optionNameDistance(c.typed, c.name)) << c.typed << " " << c.name;
  }
}

}  // namespace quarn

#include <gtest/gtest.h>

#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/option_processing.h"
#include "foundation/console.h"

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

// What showCandidates prints on the error sink for an unknown option text.
std::string suggestionsFor(const std::string& unknown) {
  testing::internal::CaptureStderr();
  showCandidates(unknown, *OptionParser::getInstance());
  global::cerr()->flush();
  return testing::internal::GetCapturedStderr();
}

TEST(OptionCandidatesTest, BestScoresInIdOrder) {
  struct Case {
    const char* unknown;
    const char* printed;
  } cases[] = {
      {"--max-trie", "\nDid you mean:\n\t--max-tries\n"},
      // Ties print in the order the options were created, not alphabetically.
      {"--xyzzy", "\nDid you mean:\n\t--log\n\t--dir\n\t--out\n\t--gid\n"},
      // An attached value stays part of what is compared.
      {"--timeuot=5", "\nDid you mean:\n\t--timeout\n"},
      // Nothing close enough: a best score above 12 prints nothing at all.
      {"--qqqqqqqqqqqqqq", ""},
      {"---", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.printed, suggestionsFor(c.unknown)) << c.unknown;
  }
}

TEST(OptionCandidatesTest, AmbiguousAbbreviationListsEveryMatch) {
  std::string expected = "\nDid you mean:\n";
  for (auto h : OptionParser::getInstance()->findByNameSubstring("max")) {
    if (std::string(h->getName()).rfind("max", 0) == 0) {
      expected += std::string("\t--") + h->getName() + "\n";
    }
  }
  EXPECT_EQ(expected, suggestionsFor("--max"));
}

}  // namespace quarn

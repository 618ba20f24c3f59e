#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "config/prefs.h"

namespace quarn {

TEST(PrefTest, RegistryHoldsNilPrefAndEveryOptionInOrder) {
  ASSERT_EQ(215u, option::countOption());
  EXPECT_STREQ("", option::i2p(0)->k);
  EXPECT_EQ(0u, option::i2p(0)->i);
  EXPECT_STREQ("version", option::i2p(1)->k);
  EXPECT_STREQ("metalink-base-uri", option::i2p(214)->k);
  EXPECT_EQ(8u, PREF_LOG->i);
  EXPECT_EQ(9u, PREF_DIR->i);
  EXPECT_EQ(10u, PREF_OUT->i);
  EXPECT_EQ(11u, PREF_SPLIT->i);
  EXPECT_STREQ("optimize-concurrent-downloads-coeffA",
               PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA->k);
}

TEST(PrefTest, IdsAreDenseAndNamesUnique) {
  std::set<std::string> names;
  for (size_t i = 0; i < option::countOption(); ++i) {
    auto pref = option::i2p(i);
    EXPECT_EQ(i, pref->i);
    EXPECT_TRUE(names.insert(pref->k).second) << pref->k;
    EXPECT_EQ(pref, option::k2p(pref->k));
  }
}

TEST(PrefTest, LookupByNameIsExact) {
  EXPECT_EQ(PREF_MAX_TRIES, option::k2p("max-tries"));
  EXPECT_EQ(6u, option::k2p("max-tries")->i);
  for (const char* name : {"MAX-TRIES", "max-tries ", "", "max-trie"}) {
    EXPECT_EQ(0u, option::k2p(name)->i) << name;
  }
}

TEST(PrefTest, ValueWords) {
  EXPECT_EQ("true", QN_V_TRUE);
  EXPECT_EQ("false", QN_V_FALSE);
  EXPECT_EQ("none", V_NONE);
  EXPECT_EQ("epoll", V_EPOLL);
  EXPECT_EQ("TLSv1.3", QN_V_TLS13);
}

TEST(PrefDeathTest, IdOutOfRangeStopsTheProgram) {
  EXPECT_DEATH(option::i2p(option::countOption()), "id < count_");
}

}  // namespace quarn

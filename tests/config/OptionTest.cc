#include <gtest/gtest.h>

#include <memory>

#include "config/Option.h"
#include "config/prefs.h"

namespace quarn {

TEST(OptionTest, FreshOptionDefinesNothing) {
  Option o;
  EXPECT_FALSE(o.defined(PREF_MAX_TRIES));
  EXPECT_EQ("", o.get(PREF_MAX_TRIES));
  EXPECT_TRUE(o.blank(PREF_MAX_TRIES));
  EXPECT_EQ(0, o.getAsInt(PREF_MAX_TRIES));
  EXPECT_EQ(0, o.getAsLLInt(PREF_MAX_TRIES));
  EXPECT_EQ(0.0, o.getAsDouble(PREF_SEED_RATIO));
  EXPECT_FALSE(o.getAsBool(PREF_QUIET));
  EXPECT_TRUE(o.emptyLocal());
}

TEST(OptionTest, ChildShadowsParentAndRemoveClearsTheChain) {
  auto parent = std::make_shared<Option>();
  Option child;
  child.setParent(parent);
  parent->put(PREF_MAX_TRIES, "3");
  child.put(PREF_MAX_TRIES, "5");
  EXPECT_EQ("5", child.get(PREF_MAX_TRIES));
  EXPECT_TRUE(child.definedLocal(PREF_MAX_TRIES));
  child.removeLocal(PREF_MAX_TRIES);
  EXPECT_EQ("3", child.get(PREF_MAX_TRIES));
  EXPECT_FALSE(child.definedLocal(PREF_MAX_TRIES));
  EXPECT_TRUE(child.defined(PREF_MAX_TRIES));
  child.put(PREF_MAX_TRIES, "5");
  child.remove(PREF_MAX_TRIES);
  EXPECT_FALSE(child.defined(PREF_MAX_TRIES));
  EXPECT_FALSE(parent->defined(PREF_MAX_TRIES));
  EXPECT_TRUE(child.emptyLocal());
}

TEST(OptionTest, EmptyChildValueHidesParent) {
  auto parent = std::make_shared<Option>();
  parent->put(PREF_DIR, "/tmp");
  Option child;
  child.setParent(parent);
  child.put(PREF_DIR, "");
  EXPECT_EQ("", child.get(PREF_DIR));
  EXPECT_TRUE(child.blank(PREF_DIR));
  EXPECT_TRUE(child.defined(PREF_DIR));
  EXPECT_FALSE(parent->blank(PREF_DIR));
}

TEST(OptionTest, OnlyTheExactWordTrueIsTrue) {
  Option o;
  for (const char* text : {"TRUE", "yes", "1", "", "true "}) {
    o.put(PREF_QUIET, text);
    EXPECT_FALSE(o.getAsBool(PREF_QUIET)) << text;
  }
  o.put(PREF_QUIET, "true");
  EXPECT_TRUE(o.getAsBool(PREF_QUIET));
}

TEST(OptionTest, MergeCopiesOnlyWhatTheOtherDefinesItself) {
  auto grand = std::make_shared<Option>();
  grand->put(PREF_DIR, "/grand");
  Option other;
  other.setParent(grand);
  other.put(PREF_MAX_TRIES, "7");
  Option target;
  target.put(PREF_SPLIT, "2");
  target.merge(other);
  EXPECT_EQ("7", target.get(PREF_MAX_TRIES));
  EXPECT_EQ("2", target.get(PREF_SPLIT));
  EXPECT_FALSE(target.defined(PREF_DIR));
}

TEST(OptionTest, CopySharesParent) {
  auto parent = std::make_shared<Option>();
  parent->put(PREF_DIR, "/p");
  Option a;
  a.setParent(parent);
  a.put(PREF_SPLIT, "3");
  Option b = a;
  EXPECT_EQ(parent, b.getParent());
  EXPECT_EQ("3", b.get(PREF_SPLIT));
  b.put(PREF_SPLIT, "4");
  EXPECT_EQ("3", a.get(PREF_SPLIT));
}

TEST(OptionTest, NumericGetters) {
  struct Case {
    const char* text;
    int32_t asInt;
    int64_t asLLInt;
  } cases[] = {
      {"12abc", 12, 12},
      {"abc", 0, 0},
      {" -3", -3, -3},
      {"+7", 7, 7},
      // Beyond 32 bits the int reading saturates instead of wrapping.
      {"2147483648", 2147483647, 2147483648LL},
      {"4294967296", 2147483647, 4294967296LL},
      {"-4294967296", -2147483647 - 1, -4294967296LL},
  };
  Option o;
  for (const auto& c : cases) {
    o.put(PREF_MAX_DOWNLOAD_LIMIT, c.text);
    EXPECT_EQ(c.asInt, o.getAsInt(PREF_MAX_DOWNLOAD_LIMIT)) << c.text;
    EXPECT_EQ(c.asLLInt, o.getAsLLInt(PREF_MAX_DOWNLOAD_LIMIT)) << c.text;
  }
  o.put(PREF_SEED_RATIO, "1.5x");
  EXPECT_DOUBLE_EQ(1.5, o.getAsDouble(PREF_SEED_RATIO));
}

}  // namespace quarn

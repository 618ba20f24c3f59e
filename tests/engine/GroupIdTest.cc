#include "engine/GroupId.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarn {

TEST(GroupIdTest, CreateGivesUniqueRegisteredIds) {
  std::vector<std::shared_ptr<GroupId>> ids;
  for (int i = 0; i < 50; ++i) {
    ids.push_back(GroupId::create());
    EXPECT_NE(0u, ids.back()->getNumericId());
  }
  for (const auto& id : ids) {
    EXPECT_EQ(nullptr, GroupId::import(id->getNumericId()));
  }
}

TEST(GroupIdTest, ImportRefusesZeroAndTakenIdsAndFreesOnDestruction) {
  EXPECT_EQ(nullptr, GroupId::import(0));
  auto a = GroupId::import(0x1234);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(nullptr, GroupId::import(0x1234));
  a.reset();
  EXPECT_NE(nullptr, GroupId::import(0x1234));
}

TEST(GroupIdTest, HexForms) {
  EXPECT_EQ("00000000000000ff", GroupId::toHex(0xff));
  EXPECT_EQ("abcdef0123456789", GroupId::toHex(0xABCDEF0123456789ULL));
  EXPECT_EQ("abcdef", GroupId::toAbbrevHex(0xABCDEF0123456789ULL));
}

TEST(GroupIdTest, ToNumericId) {
  GroupId::gid_t n = 7;
  EXPECT_EQ(0, GroupId::toNumericId(n, "ABCDEF0123456789"));
  EXPECT_EQ(0xabcdef0123456789ULL, n);
  struct {
    const char* text;
  } bad[] = {
      {"0000000000000000"}, {"abcdef012345678"}, {"abcdef01234567890"}, {"abcdef012345678g"}, {""}};
  for (const auto& c : bad) {
    n = 7;
    EXPECT_EQ(GroupId::ERR_INVALID, GroupId::toNumericId(n, c.text)) << c.text;
    EXPECT_EQ(7u, n);
  }
}

TEST(GroupIdTest, ExpandUnique) {
  auto a = GroupId::import(0xabcd000000000001ULL);
  auto b = GroupId::import(0xabcd000000000002ULL);
  auto c = GroupId::import(0x0bcd000000000000ULL);
  GroupId::gid_t n = 0;
  EXPECT_EQ(GroupId::EXPAND_NOT_UNIQUE, GroupId::expandUnique(n, "ab"));
  EXPECT_EQ(0xabcd000000000001ULL, n);
  EXPECT_EQ(GroupId::EXPAND_OK, GroupId::expandUnique(n, "ABCD000000000002"));
  EXPECT_EQ(0xabcd000000000002ULL, n);
  EXPECT_EQ(GroupId::EXPAND_OK, GroupId::expandUnique(n, "0"));
  EXPECT_EQ(0x0bcd000000000000ULL, n);
  EXPECT_EQ(GroupId::EXPAND_NOT_FOUND, GroupId::expandUnique(n, "ac"));
  EXPECT_EQ(GroupId::EXPAND_NOT_FOUND, GroupId::expandUnique(n, "ffff"));
  EXPECT_EQ(GroupId::ERR_INVALID, GroupId::expandUnique(n, ""));
  EXPECT_EQ(GroupId::ERR_INVALID, GroupId::expandUnique(n, "xy"));
  EXPECT_EQ(GroupId::ERR_INVALID, GroupId::expandUnique(n, "abcd0000000000010"));
}

}  // namespace quarn

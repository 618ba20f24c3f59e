#include "engine/IndexedList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quarn {

namespace {

using List = IndexedList<int, std::shared_ptr<int>>;

List make(const std::vector<int>& keys) {
  List l;
  for (int k : keys) {
    l.push_back(k, std::make_shared<int>(k));
  }
  return l;
}

std::vector<int> keys(const List& l) {
  std::vector<int> out;
  for (const auto& p : l) {
    out.push_back(p.first);
  }
  return out;
}

}  // namespace

TEST(IndexedListTest, UniqueKeys) {
  List l = make({1, 2});
  EXPECT_FALSE(l.push_back(1, std::make_shared<int>(9)));
  EXPECT_FALSE(l.push_front(2, std::make_shared<int>(9)));
  EXPECT_TRUE(l.push_front(0, std::make_shared<int>(0)));
  EXPECT_EQ((std::vector<int>{0, 1, 2}), keys(l));
  EXPECT_EQ(1, *l.get(1));
  EXPECT_EQ(nullptr, l.get(5));
  EXPECT_EQ(l.end(), l.insert(4, 7, std::make_shared<int>(7)));
  EXPECT_EQ(l.end(), l.insert(1, 2, std::make_shared<int>(7)));
  EXPECT_EQ(7, l.insert(3, 7, std::make_shared<int>(7))->first);
  EXPECT_TRUE(l.remove(1));
  EXPECT_FALSE(l.remove(1));
  EXPECT_TRUE(l.pop_front());
  EXPECT_EQ((std::vector<int>{2, 7}), keys(l));
  EXPECT_EQ(2u, l.size());
}

TEST(IndexedListTest, BatchInsertSkipsPresentAndRepeatedKeys) {
  List l = make({1, 2});
  std::vector<std::shared_ptr<int>> batch{std::make_shared<int>(5), std::make_shared<int>(2),
                                          std::make_shared<int>(6), std::make_shared<int>(5)};
  l.insert(
      100, [](const std::shared_ptr<int>& v) { return *v; }, batch.begin(), batch.end());
  EXPECT_EQ((std::vector<int>{1, 2, 5, 6}), keys(l));
  std::vector<std::shared_ptr<int>> front{std::make_shared<int>(9)};
  l.insert(
      0, [](const std::shared_ptr<int>& v) { return *v; }, front.begin(), front.end());
  EXPECT_EQ((std::vector<int>{9, 1, 2, 5, 6}), keys(l));
}

TEST(IndexedListTest, Move) {
  struct Case {
    int key;
    ssize_t offset;
    OffsetMode mode;
    ssize_t expected;
    std::vector<int> order;
  } cases[] = {
      {1, 10, OFFSET_MODE_CUR, 4, {2, 3, 4, 5, 1}},
      {5, -10, OFFSET_MODE_END, 0, {5, 1, 2, 3, 4}},
      {3, -1, OFFSET_MODE_CUR, 1, {1, 3, 2, 4, 5}},
      {2, 3, OFFSET_MODE_SET, 3, {1, 3, 4, 2, 5}},
      {2, -3, OFFSET_MODE_SET, 0, {2, 1, 3, 4, 5}},
      {1, -1, OFFSET_MODE_END, 3, {2, 3, 4, 1, 5}},
      {9, 0, OFFSET_MODE_SET, -1, {1, 2, 3, 4, 5}},
      {1, 0, static_cast<OffsetMode>(7), -1, {1, 2, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    List l = make({1, 2, 3, 4, 5});
    EXPECT_EQ(c.expected, l.move(c.key, c.offset, c.mode)) << c.key << " " << c.offset;
    EXPECT_EQ(c.order, keys(l));
    EXPECT_EQ(5u, l.size());
  }
}

TEST(IndexedListTest, RemoveIfKeepsOrder) {
  List l = make({1, 2, 3, 4});
  EXPECT_EQ(2u, l.remove_if([](const std::shared_ptr<int>& v) { return *v % 2 == 0; }));
  EXPECT_EQ((std::vector<int>{1, 3}), keys(l));
  EXPECT_EQ(nullptr, l.get(2));
  EXPECT_TRUE(l.push_back(2, std::make_shared<int>(2)));
}

}  // namespace quarn

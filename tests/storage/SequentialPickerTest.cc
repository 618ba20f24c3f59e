#include "storage/SequentialPicker.h"

#include <gtest/gtest.h>

namespace quarn {

namespace {

struct Entry {
  Entry(int id, std::vector<int>& destroyed) : id(id), destroyed(destroyed) {}
  ~Entry() { destroyed.push_back(id); }
  int id;
  std::vector<int>& destroyed;
};

}  // namespace

TEST(SequentialPickerTest, PicksInOrderAndOwnsThePickedEntry) {
  std::vector<int> destroyed;
  {
    SequentialPicker<Entry> picker;
    EXPECT_FALSE(picker.hasNext());
    EXPECT_EQ(nullptr, picker.pickNext());
    for (int id : {1, 2, 3}) {
      picker.pushEntry(std::make_unique<Entry>(id, destroyed));
    }
    EXPECT_EQ(3u, picker.countEntryInQueue());
    EXPECT_FALSE(picker.isPicked());

    EXPECT_EQ(1, picker.pickNext()->id);
    EXPECT_TRUE(picker.isPicked());
    EXPECT_EQ(1, picker.getPickedEntry()->id);
    EXPECT_EQ(2u, picker.countEntryInQueue());
    EXPECT_FALSE(picker.isQueued([](const Entry& e) { return e.id == 1; }));
    EXPECT_TRUE(picker.isQueued([](const Entry& e) { return e.id == 3; }));

    // Picking again destroys the entry picked before.
    EXPECT_EQ(2, picker.pickNext()->id);
    EXPECT_EQ((std::vector<int>{1}), destroyed);
    picker.dropPickedEntry();
    EXPECT_FALSE(picker.isPicked());
    EXPECT_EQ((std::vector<int>{1, 2}), destroyed);
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3}), destroyed);
}

}  // namespace quarn

#include <gtest/gtest.h>

#include "foundation/DowncastValueBaseVisitor.h"

namespace quarn {

namespace {

// Counts its own destruction, to see that containers destroy what they replace.
class Tracked : public ValueBase {
 public:
  explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { ++*destroyed_; }
  void accept(ValueBaseVisitor&) const override {}

 private:
  int* destroyed_;
};

}  // namespace

TEST(ValueBaseTest, DictIteratesInUnsignedByteOrder) {
  Dict dict;
  dict.put("b", "1");
  dict.put("\x80", "2");
  dict.put("a", "3");
  dict.put("ab", "4");
  dict.put("\x7f", "5");
  std::vector<std::string> keys;
  for (const auto& [key, value] : dict) {
    keys.push_back(key);
  }
  EXPECT_EQ((std::vector<std::string>{"a", "ab", "b", "\x7f", "\x80"}), keys);
}

TEST(ValueBaseTest, DictPutReplacesAndDestroysOldValue) {
  int destroyed = 0;
  Dict dict;
  dict.put("k", std::make_unique<Tracked>(&destroyed));
  dict.put("z", "last");
  dict.put("k", Integer::g(7));
  EXPECT_EQ(1, destroyed);
  EXPECT_EQ(2u, dict.size());
  EXPECT_EQ(7, valueAs<Integer>(dict["k"])->i());
  EXPECT_EQ("k", dict.begin()->first);
}

TEST(ValueBaseTest, DictPopAndRemove) {
  Dict dict;
  dict.put("a", "x");
  EXPECT_EQ(nullptr, dict.popValue("absent"));
  EXPECT_EQ(1u, dict.size());
  EXPECT_EQ(nullptr, dict.get("absent"));
  auto popped = dict.popValue("a");
  ASSERT_NE(nullptr, popped);
  EXPECT_EQ("x", valueAs<String>(popped)->s());
  EXPECT_TRUE(dict.empty());
  dict.put("b", "y");
  EXPECT_TRUE(dict.containsKey("b"));
  dict.removeKey("b");
  EXPECT_FALSE(dict.containsKey("b"));
}

TEST(ValueBaseTest, ListOperations) {
  int destroyed = 0;
  auto list = List::g();
  *list << Integer::g(1) << String::g(std::string("two"));
  list->append("three");
  list->append(std::make_unique<Tracked>(&destroyed));
  ASSERT_EQ(4u, list->size());
  EXPECT_EQ("two", valueAs<String>((*list)[1])->s());
  list->set(3, Null::g());
  EXPECT_EQ(1, destroyed);
  EXPECT_NE(nullptr, valueAs<Null>(list->get(3)));
  list->pop_front();
  list->pop_back();
  ASSERT_EQ(2u, list->size());
  EXPECT_EQ("two", valueAs<String>(list->get(0))->s());
}

TEST(ValueBaseTest, ValueAsMatchesOnlyTheDynamicKind) {
  auto dict = Dict::g();
  EXPECT_EQ(nullptr, valueAs<List>(dict.get()));
  EXPECT_EQ(dict.get(), valueAs<Dict>(dict.get()));
  EXPECT_EQ(nullptr, valueAs<String>(static_cast<ValueBase*>(nullptr)));
  auto integer = Integer::g(-3);
  EXPECT_EQ(-3, valueAs<Integer>(integer.get())->i());
  EXPECT_EQ(nullptr, valueAs<Bool>(integer.get()));
}

TEST(ValueBaseTest, BoolFactoriesMakeDistinctNodes) {
  auto a = Bool::gTrue();
  auto b = Bool::gTrue();
  EXPECT_NE(a.get(), b.get());
  EXPECT_TRUE(a->val());
  EXPECT_TRUE(b->val());
  EXPECT_FALSE(Bool::gFalse()->val());
}

TEST(ValueBaseTest, StringKeepsEmbeddedZeroBytes) {
  const unsigned char bytes[] = {'a', 0, 'b'};
  String s(bytes, 3);
  EXPECT_EQ(3u, s.s().size());
  EXPECT_EQ(0, s.uc()[1]);
  EXPECT_EQ(std::string("a\0b", 3), s.popValue());
  EXPECT_EQ("", String().s());
  EXPECT_EQ(0, Integer().i());
}

}  // namespace quarn

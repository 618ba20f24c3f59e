#include "foundation/paramed_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

std::vector<std::string> expand(const std::string& text) {
  std::vector<std::string> out;
  paramed_string::expand(text.begin(), text.end(), out);
  return out;
}

using Strings = std::vector<std::string>;

TEST(ParamedStringTest, Expansions) {
  struct Case {
    const char* text;
    Strings expected;
  } cases[] = {
      {"http://h/f[1-3].iso", {"http://h/f1.iso", "http://h/f2.iso", "http://h/f3.iso"}},
      {"f[01-10:3]", {"f01", "f04", "f07", "f10"}},
      {"f[1-010]", {"f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8", "f9", "f10"}},
      {"{a, b}{x,y}", {"ax", "ay", "bx", "by"}},
      {"{}", {}},
      {"{,}", {}},
      {"x{}y", {}},
      {"[a-c]", {"a", "b", "c"}},
      {"[aa-ac]", {"aa", "ab", "ac"}},
      {"[A-D]", {"A", "B", "C", "D"}},
      {"[y-bb]", {"y", "z", "ba", "bb"}},
      {"[5-1]x", {"x"}},
      {"", {}},
      {"plain", {"plain"}},
      {"{a,[1-2]}", {"a", "[1-2]"}},
      {"[1-3:5]", {"1"}},
      {"[65535-65535]", {"65535"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, expand(c.text)) << c.text;
  }
}

TEST(ParamedStringTest, SyntaxErrors) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"[1-5", "Missing ']' in the parameterized string."},
      {"{a,b", "Missing '}' in the parameterized string."},
      {"[1-5:0]", "A step count must be a positive number."},
      {"[1-5:x]", "A step count must be a positive number."},
      {"[1-5:65536]", "Loop step overflow."},
      {"[0-65536]", "Loop range overflow."},
      {"[zzzz-b]", "Loop range overflow."},
      {"[1]", "Loop range missing."},
      {"[a-D]", "Invalid loop range."},
      {"[1-a]", "Invalid loop range."},
      {"[-5]", "Invalid loop range."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> out{"keep"};
    std::string text = c.text;
    try {
      paramed_string::expand(text.begin(), text.end(), out);
      ADD_FAILURE() << "no exception for " << c.text;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ(c.message, e.what()) << c.text;
    }
    EXPECT_EQ(Strings{"keep"}, out) << c.text;
  }
}

// Each loop alone is bounded, but their product is not; past the cap the
// expansion must fail instead of exhausting memory.
TEST(ParamedStringTest, ProductOfLoopsIsCapped) {
  EXPECT_EQ(1000u * 1000u, expand("[0-999][0-999]").size());
  std::vector<std::string> out;
  std::string text = "http://h/[0-65535][0-65535][0-65535]";
  try {
    paramed_string::expand(text.begin(), text.end(), out);
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Too many expansions of the parameterized string: more than 1000000.", e.what());
  }
  EXPECT_TRUE(out.empty());
  EXPECT_THROW(expand("{a,b}[0-999][0-999]"), DlAbortEx);
}

// Within the count cap the texts must stay bounded too: a long literal repeated
// in each of a million expansions would otherwise take gigabytes.
TEST(ParamedStringTest, TotalSizeOfExpansionsIsCapped) {
  const std::string literal(100, 'x');
  for (const auto& text :
       {"http://h/" + literal + "/[0-999][0-999]", "http://h/[0-499]{a,b}[0-999]/" + literal}) {
    std::vector<std::string> out{"keep"};
    try {
      paramed_string::expand(text.begin(), text.end(), out);
      FAIL() << "no exception for " << text;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ("The parameterized string expands to more than 67108864 bytes.", e.what());
    }
    EXPECT_EQ(Strings{"keep"}, out);
  }
  EXPECT_EQ(1000u * 10u, expand(literal + "[0-999]{a,b,c,d,e,f,g,h,i,j}").size());
}

TEST(ParamedStringTest, Base26Numerals) {
  EXPECT_EQ("a", paramed_string::toBase26(0, 'a', 0));
  EXPECT_EQ("aaa", paramed_string::toBase26(0, 'a', 3));
  EXPECT_EQ("ba", paramed_string::toBase26(26, 'a', 0));
  EXPECT_EQ("ABA", paramed_string::toBase26(26, 'A', 3));
  std::string ba = "ba";
  EXPECT_EQ(26u, paramed_string::fromBase26(ba.begin(), ba.end(), 'a'));
  std::string aa = "aa";
  EXPECT_EQ(0u, paramed_string::fromBase26(aa.begin(), aa.end(), 'a'));
}

}  // namespace
}  // namespace quarn

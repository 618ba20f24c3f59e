#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "foundation/util_string.h"

namespace quarn {

namespace {

using Strings = std::vector<std::string>;

struct SplitCase {
  std::string input;
  bool doStrip;
  bool allowEmpty;
  Strings expected;
};

std::string str(const std::pair<std::string::const_iterator, std::string::const_iterator>& p) {
  return std::string(p.first, p.second);
}

}  // namespace

TEST(UtilStringTest, StripRemovesSetCharactersFromBothEnds) {
  EXPECT_EQ("a b", util::strip(" \r\n\ta b\t \n"));
  EXPECT_EQ("", util::strip(" \t "));
  EXPECT_EQ("", util::strip(""));
  EXPECT_EQ("a", util::strip("a"));
  EXPECT_EQ("bxb", util::strip("xxbxbx", "x"));
}

TEST(UtilStringTest, StripNeverTreatsNulAsSetMember) {
  std::string s("\0a\0", 3);
  EXPECT_EQ(s, util::strip(s));
  std::string padded(" \0 ", 3);
  EXPECT_EQ(std::string(1, '\0'), util::strip(padded));
}

TEST(UtilStringTest, SplitTable) {
  const SplitCase cases[] = {
      {"", false, false, {}},
      {"", false, true, {""}},
      {"a,b,", false, false, {"a", "b"}},
      {"a,b,", false, true, {"a", "b", ""}},
      {",a", false, true, {"", "a"}},
      {",a", false, false, {"a"}},
      {" a , b ", true, false, {"a", "b"}},
      {" a , b ", false, false, {" a ", " b "}},
      {"a,,b", false, false, {"a", "b"}},
      {"a,,b", false, true, {"a", "", "b"}},
      {"a, b , ", true, true, {"a", "b", ""}},
      {"a, b ,", true, true, {"a", "b", ""}},
      {",", false, true, {"", ""}},
      {",", false, false, {}},
      {"abc", false, false, {"abc"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("input '" + c.input + "' strip=" + std::to_string(c.doStrip) +
                 " allowEmpty=" + std::to_string(c.allowEmpty));
    Strings vec;
    util::split(c.input.begin(), c.input.end(), std::back_inserter(vec), ',', c.doStrip,
                c.allowEmpty);
    EXPECT_EQ(c.expected, vec);

    std::deque<std::string> deq;
    util::split(c.input.begin(), c.input.end(), std::back_inserter(deq), ',', c.doStrip,
                c.allowEmpty);
    EXPECT_EQ(c.expected, Strings(deq.begin(), deq.end()));

    std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> pairs;
    util::splitIter(c.input.cbegin(), c.input.cend(), std::back_inserter(pairs), ',', c.doStrip,
                    c.allowEmpty);
    Strings fromPairs;
    for (const auto& p : pairs) {
      fromPairs.push_back(str(p));
    }
    EXPECT_EQ(c.expected, fromPairs);
  }
}

TEST(UtilStringTest, SplitIterPointsIntoInput) {
  const std::string in = "ab,cd";
  std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> pairs;
  util::splitIter(in.begin(), in.end(), std::back_inserter(pairs), ',');
  ASSERT_EQ(2u, pairs.size());
  EXPECT_EQ(in.begin(), pairs[0].first);
  EXPECT_EQ(in.begin() + 3, pairs[1].first);
  EXPECT_EQ(in.end(), pairs[1].second);
}

TEST(UtilStringTest, SplitIterOverWritableBuffer) {
  char buf[] = "x;y";
  std::vector<std::pair<char*, char*>> pairs;
  util::splitIter(buf, buf + 3, std::back_inserter(pairs), ';');
  ASSERT_EQ(2u, pairs.size());
  *pairs[1].first = 'z';
  EXPECT_STREQ("x;z", buf);
}

TEST(UtilStringTest, SplitIterMUsesAnyDelimiterOfTheSet) {
  const struct {
    std::string input;
    bool doStrip;
    bool allowEmpty;
    Strings expected;
  } cases[] = {
      {"a,b;c", false, false, {"a", "b", "c"}},
      {"a,;b", false, true, {"a", "", "b"}},
      {"a;", false, true, {"a", ""}},
      {"a, b ;", true, false, {"a", "b"}},
      {"", false, true, {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> pairs;
    util::splitIterM(c.input.cbegin(), c.input.cend(), std::back_inserter(pairs), ",;", c.doStrip,
                     c.allowEmpty);
    Strings got;
    for (const auto& p : pairs) {
      got.push_back(str(p));
    }
    EXPECT_EQ(c.expected, got);
  }
}

TEST(UtilStringTest, SplitIterMDoesNotSplitAtNul) {
  const std::string in("a\0b", 3);
  std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> pairs;
  util::splitIterM(in.cbegin(), in.cend(), std::back_inserter(pairs), ",");
  ASSERT_EQ(1u, pairs.size());
  EXPECT_EQ(in, str(pairs[0]));
}

TEST(UtilStringTest, DivideTable) {
  const struct {
    std::string input;
    bool doStrip;
    std::string head;
    std::string tail;
  } cases[] = {
      {"key", true, "key", ""},    {"k=v=w", true, "k", "v=w"},
      {" k = v ", true, "k", "v"}, {" k = v ", false, " k ", " v "},
      {" key ", true, "key", ""},  {"=v", true, "", "v"},
      {"k=", true, "k", ""},       {"", true, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    auto r = util::divide(c.input.cbegin(), c.input.cend(), '=', c.doStrip);
    EXPECT_EQ(c.head, str(r.first));
    EXPECT_EQ(c.tail, str(r.second));
  }
  const std::string noDelim = "abc";
  auto r = util::divide(noDelim.begin(), noDelim.end(), '=', false);
  EXPECT_EQ(noDelim.end(), r.second.first);
}

// Every parameter nextParam finds, as "name=value" items joined by '|'.
std::string allParams(const std::string& in, char delim) {
  std::string out, name, value;
  auto pos = in.cbegin();
  for (;;) {
    auto r = util::nextParam(name, value, pos, in.cend(), delim);
    if (!r.second) {
      EXPECT_EQ(in.cend(), r.first);
      return out;
    }
    EXPECT_TRUE(r.first == in.cend() || *(r.first - 1) == delim);
    out += (out.empty() ? "" : "|") + name + "=" + value;
    pos = r.first;
  }
}

TEST(UtilStringTest, NextParamTable) {
  const struct {
    std::string input;
    char delim;
    std::string params;
  } cases[] = {
      {"", ';', ""},
      {" ; ;= x;", ';', ""},
      {"rel=duplicate", ';', "rel=duplicate"},
      {" rel = duplicate ; pri=2;pref; geo=de", ';', "rel=duplicate|pri=2|pref=|geo=de"},
      {"a=b=c", ';', "a=b=c"},
      {"rel=\"duplicate\"", ';', "rel=\"duplicate\""},
      {";;name;", ';', "name="},
      {"SHA-256=abc=, md5 =x", ',', "SHA-256=abc=|md5=x"},
      {"k=;v", ';', "k=|v="},
      {"\tk\r\n=\tv ", ';', "k=v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(c.params, allParams(c.input, c.delim));
  }
}

TEST(UtilStringTest, NextParamStopsJustPastTheDelimiter) {
  const std::string in = "a=1;b";
  std::string name, value;
  auto r = util::nextParam(name, value, in.begin(), in.end(), ';');
  ASSERT_TRUE(r.second);
  EXPECT_EQ(in.begin() + 4, r.first);
  r = util::nextParam(name, value, r.first, in.end(), ';');
  ASSERT_TRUE(r.second);
  EXPECT_EQ("b", name);
  EXPECT_EQ("", value);
  EXPECT_EQ(in.end(), r.first);
}

TEST(UtilStringTest, Strjoin) {
  const Strings empty;
  EXPECT_EQ("", strjoin(empty.begin(), empty.end(), ","));
  const Strings one = {"a"};
  EXPECT_EQ("a", strjoin(one.begin(), one.end(), ", "));
  const Strings three = {"a", "", "c"};
  EXPECT_EQ("a, , c", strjoin(three.begin(), three.end(), ", "));
  EXPECT_EQ("A||C", strjoin(three.begin(), three.end(), "|", util::toUpper));
  EXPECT_EQ("[a][][c]", strjoin(three.begin(), three.end(), "",
                                [](const std::string& s) { return "[" + s + "]"; }));
}

TEST(UtilStringTest, ReplaceTable) {
  const struct {
    std::string target, pattern, replacement, expected;
  } cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"abcabc", "b", "xbx", "axbxcaxbxc"},
      {"", "a", "b", ""},
      {"abc", "", "x", "abc"},
      {"abc", "abc", "", ""},
      {"abc", "d", "x", "abc"},
      {"a.b.c", ".", "..", "a..b..c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::replace(c.target, c.pattern, c.replacement))
        << c.target << " / " << c.pattern;
  }
}

TEST(UtilStringTest, StartsAndEndsWith) {
  EXPECT_TRUE(util::startsWith("foobar", "foo"));
  EXPECT_TRUE(util::startsWith("foo", std::string("foo")));
  EXPECT_TRUE(util::startsWith("foo", ""));
  EXPECT_FALSE(util::startsWith("fo", "foo"));
  EXPECT_FALSE(util::startsWith("Foobar", "foo"));
  EXPECT_TRUE(util::endsWith("foobar", "bar"));
  EXPECT_TRUE(util::endsWith("bar", std::string("bar")));
  EXPECT_TRUE(util::endsWith("bar", ""));
  EXPECT_FALSE(util::endsWith("ar", "bar"));
  EXPECT_FALSE(util::endsWith("fooBar", "bar"));
}

TEST(UtilStringTest, CaseInsensitiveComparisons) {
  const std::string text = "ABCdef";
  EXPECT_TRUE(util::istartsWith(text, "abc"));
  EXPECT_TRUE(util::istartsWith(text, std::string("aBcDeF")));
  EXPECT_FALSE(util::istartsWith(text, "abcdefg"));
  EXPECT_TRUE(util::istartsWith(text.begin(), text.end(), "ABCD"));
  const std::string prefix = "abc";
  EXPECT_TRUE(util::istartsWith(text.begin(), text.end(), prefix.begin(), prefix.end()));

  EXPECT_TRUE(util::iendsWith(text, "DEF"));
  EXPECT_TRUE(util::iendsWith(text, std::string("cdef")));
  EXPECT_FALSE(util::iendsWith(text, "xABCdef"));
  EXPECT_TRUE(util::iendsWith(text.begin(), text.end(), "EF"));
  EXPECT_FALSE(util::iendsWith(text.begin(), text.end(), prefix.begin(), prefix.end()));

  EXPECT_TRUE(util::strieq(text, "abcDEF"));
  EXPECT_TRUE(util::strieq(text, std::string("abcdef")));
  EXPECT_FALSE(util::strieq(text, "abcde"));
  EXPECT_FALSE(util::strieq(text, "abcdefg"));
  EXPECT_TRUE(util::strieq(text.begin(), text.end(), "ABCDEF"));
  EXPECT_TRUE(util::strieq(text.begin(), text.end(), text.begin(), text.end()));
  EXPECT_TRUE(util::strieq(std::string(), ""));
}

TEST(UtilStringTest, CaseFoldingTouchesOnlyAsciiLetters) {
  // 0xC4 and 0xE4 differ by 0x20 like an ASCII case pair, but must not fold.
  EXPECT_FALSE(util::strieq(std::string("\xC4"), "\xE4"));
  EXPECT_FALSE(util::istartsWith(std::string("\xC4x"), "\xE4"));
  EXPECT_FALSE(util::strieq(std::string("@"), "`"));
  EXPECT_FALSE(util::strieq(std::string("["), "{"));
  EXPECT_EQ("ABC-\xE4[`", util::toUpper("abc-\xE4[`"));
  EXPECT_EQ("abc-\xC4@{", util::toLower("ABC-\xC4@{"));
  std::string s = "MiXeD1";
  util::lowercase(s);
  EXPECT_EQ("mixed1", s);
  util::uppercase(s);
  EXPECT_EQ("MIXED1", s);
  EXPECT_EQ('Z', util::toUpperChar('z'));
  EXPECT_EQ('a', util::toLowerChar('A'));
  EXPECT_EQ('1', util::toUpperChar('1'));
}

TEST(UtilStringTest, Strless) {
  EXPECT_TRUE(util::strless("a", "b"));
  EXPECT_FALSE(util::strless("b", "a"));
  EXPECT_FALSE(util::strless("a", "a"));
  EXPECT_TRUE(util::strless("a", "ab"));
  EXPECT_TRUE(util::strless("B", "a"));
}

TEST(UtilStringTest, ToHex) {
  const unsigned char bytes[] = {0x00, 0xFF, 0x0A};
  EXPECT_EQ("00ff0a", util::toHex(bytes, 3));
  EXPECT_EQ("00ff", util::toHex(std::string("\x00\xFF", 2)));
  EXPECT_EQ("6162", util::toHex("ab", 2));
  EXPECT_EQ("", util::toHex(std::string()));
}

TEST(UtilStringTest, FromHexTable) {
  const struct {
    std::string input, expected;
  } cases[] = {
      {"0A0b", std::string("\x0A\x0B")},
      {"00ff", std::string("\x00\xFF", 2)},
      {"0g", ""},
      {"abc", ""},
      {"", ""},
      {"41zz", ""},  // a bad pair discards the bytes decoded before it
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::fromHex(c.input.begin(), c.input.end())) << c.input;
  }
}

TEST(UtilStringTest, HexDigits) {
  EXPECT_EQ(0u, util::hexCharToUInt('0'));
  EXPECT_EQ(9u, util::hexCharToUInt('9'));
  EXPECT_EQ(10u, util::hexCharToUInt('a'));
  EXPECT_EQ(15u, util::hexCharToUInt('F'));
  EXPECT_EQ(255u, util::hexCharToUInt('g'));
  EXPECT_EQ(255u, util::hexCharToUInt(0xB0));
  EXPECT_TRUE(util::isHexDigit(std::string("09afAF")));
  EXPECT_TRUE(util::isHexDigit(std::string()));
  EXPECT_FALSE(util::isHexDigit(std::string("0x1")));
}

TEST(UtilStringTest, SystemGlue) {
  EXPECT_EQ("", util::makeString(nullptr));
  EXPECT_EQ("abc", util::makeString("abc"));
  EXPECT_FALSE(util::safeStrerror(ENOENT).empty());
  EXPECT_EQ(std::string(std::strerror(EACCES)), util::safeStrerror(EACCES));
}

}  // namespace quarn

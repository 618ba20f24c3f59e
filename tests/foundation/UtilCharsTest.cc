#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/util_chars.h"

namespace quarn {

namespace {

// Every byte that `pred` admits, in byte order.
template <typename Pred>
std::string admitted(Pred pred) {
  std::string out;
  for (int c = 0; c < 256; ++c) {
    if (pred(static_cast<char>(c))) {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const std::string ALNUM = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// `chars` in byte order merged with the alphanumerics.
std::string withAlnum(std::string chars) {
  chars += ALNUM;
  std::sort(chars.begin(), chars.end(),
            [](char a, char b) { return (unsigned char)a < (unsigned char)b; });
  return chars;
}

}  // namespace

TEST(UtilCharsTest, ClassifiersAdmitExactlyTheirBytes) {
  EXPECT_EQ("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", admitted(util::isAlpha));
  EXPECT_EQ("0123456789", admitted(util::isDigit));
  EXPECT_EQ("0123456789ABCDEFabcdef", admitted([](char c) { return util::isHexDigit(c); }));
  EXPECT_EQ("\t ", admitted(util::isLws));
  EXPECT_EQ("\n\r", admitted(util::isCRLF));
  EXPECT_EQ("!#$&'()*+,/:;=?@[]", admitted(util::inRFC3986ReservedChars));
  EXPECT_EQ(withAlnum("-._~"), admitted(util::inRFC3986UnreservedChars));
  EXPECT_EQ(withAlnum("!#$%&'+-^_{}~`"), admitted(util::inRFC2978MIMECharset));
  EXPECT_EQ(withAlnum("!#$%&'*+-.^_|~`"), admitted(util::inRFC2616HttpToken));
  EXPECT_EQ(withAlnum("!#$&+-.^_|~`"), admitted(util::inRFC5987AttrChar));
}

TEST(UtilCharsTest, IsIso8859p1) {
  int count = 0;
  for (int c = 0; c < 256; ++c) {
    count += util::isIso8859p1(c);
  }
  EXPECT_EQ(95 + 96, count);
  EXPECT_TRUE(util::isIso8859p1(0x20));
  EXPECT_TRUE(util::isIso8859p1(0x7e));
  EXPECT_FALSE(util::isIso8859p1(0x7f));
  EXPECT_FALSE(util::isIso8859p1(0x9f));
  EXPECT_TRUE(util::isIso8859p1(0xa0));
  EXPECT_TRUE(util::isIso8859p1(0xff));
}

TEST(UtilCharsTest, IsUtf8Table) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii ~", true},
      {"\x08\t\n\x0c\r", true},
      {std::string(1, '\0'), false},
      {"\x0b", false},
      {"\x7f", false},
      {"\x01", false},
      {"\xC3\xA4", true},
      {"\xC2\x80", true},
      {"\xDF\xBF", true},
      {"\xC0\x80", false},
      {"\xC1\xBF", false},
      {"\xC3", false},
      {"\xC3\x41", false},
      {"\x80", false},
      {"\xE0\xA0\x80", true},
      {"\xE0\x9F\x80", false},
      {"\xE1\x80\x80", true},
      {"\xED\x9F\xBF", true},
      {"\xED\xA0\x80", false},
      {"\xEF\xBF\xBF", true},
      {"\xE1\x80", false},
      {"\xE1\x80\x41", false},
      {"\xF0\x90\x80\x80", true},
      {"\xF0\x8F\x80\x80", false},
      {"\xF3\xBF\xBF\xBF", true},
      {"\xF4\x8F\xBF\xBF", true},
      {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false},
      {"\xF0\x90\x80", false},
      {"a\xE2\x82\xAC"
       "b",
       true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.valid, util::isUtf8(c.text)) << util::toHex(c.text);
  }
}

TEST(UtilCharsTest, PercentEncode) {
  EXPECT_EQ("a%20b%2F~", util::percentEncode("a b/~"));
  EXPECT_EQ("%C3%A4%00%25", util::percentEncode(std::string("\xC3\xA4\0%", 4)));
  EXPECT_EQ("AZaz09-._~", util::percentEncode("AZaz09-._~"));
  EXPECT_EQ("", util::percentEncode(""));
  const unsigned char bytes[] = {'x', 0xFF, '/'};
  EXPECT_EQ("x%FF%2F", util::percentEncode(bytes, 3));
}

TEST(UtilCharsTest, PercentEncodeMini) {
  EXPECT_EQ("a%20b%3C%3E?", util::percentEncodeMini("a b<>?"));
  EXPECT_EQ("%#?/&", util::percentEncodeMini("%#?/&"));
  EXPECT_EQ("%22%7F%09%80", util::percentEncodeMini("\"\x7f\t\x80"));
  EXPECT_EQ("!~", util::percentEncodeMini("!~"));
}

TEST(UtilCharsTest, TorrentPercentEncode) {
  EXPECT_EQ("%2D%2E%5F%7E", util::torrentPercentEncode("-._~"));
  EXPECT_EQ("aZ9%20%FF", util::torrentPercentEncode("aZ9 \xFF"));
  const unsigned char bytes[] = {0x00, 'A'};
  EXPECT_EQ("%00A", util::torrentPercentEncode(bytes, 2));
}

TEST(UtilCharsTest, PercentDecodeTable) {
  const struct {
    std::string input, expected;
  } cases[] = {
      {"%41%4a%zz%4", "AJ%zz%4"},
      {"%", "%"},
      {"%%41", "%A"},
      {"a%2fb", "a/b"},
      {"%00", std::string(1, '\0')},
      {"%C3%A4", "\xC3\xA4"},
      {"%4", "%4"},
      {"+", "+"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::percentDecode(c.input.begin(), c.input.end())) << c.input;
  }
}

TEST(UtilCharsTest, EncodeNonUtf8) {
  EXPECT_EQ("a b\xC3\xA4", util::encodeNonUtf8("a b\xC3\xA4"));
  EXPECT_EQ("a%20b%E4", util::encodeNonUtf8("a b\xE4"));
}

TEST(UtilCharsTest, Iso8859p1ToUtf8) {
  EXPECT_EQ("\xC3\xA4", util::iso8859p1ToUtf8("\xE4"));
  EXPECT_EQ("a\xC2\xA0\xC2\xBF\xC3\x80\xC3\xBF", util::iso8859p1ToUtf8("a\xA0\xBF\xC0\xFF"));
  EXPECT_EQ("", util::iso8859p1ToUtf8("ab\x85"));
  EXPECT_EQ("", util::iso8859p1ToUtf8("\x80"));
  const unsigned char bytes[] = {'x', 0x9f};
  EXPECT_EQ("", util::iso8859p1ToUtf8(bytes, 2));
}

TEST(UtilCharsTest, HtmlEscape) {
  EXPECT_EQ("a&lt;b&amp;c", util::htmlEscape("a<b&c"));
  EXPECT_EQ("&quot;&amp;&#39;&lt;&gt;", util::htmlEscape("\"&'<>"));
  EXPECT_EQ("plain", util::htmlEscape("plain"));
  EXPECT_EQ("", util::htmlEscape(""));
}

}  // namespace quarn

#include "fetchprobe/utf8.h"

#include <gtest/gtest.h>

namespace quarn {

namespace {
const std::string R = "\xEF\xBF\xBD";  // U+FFFD
}

TEST(Utf8Test, EachMaximalInvalidSubpartBecomesOneReplacementCharacter) {
  struct Case {
    std::string bytes;
    std::string decoded;
  } cases[] = {
      {"", ""},
      {"plain ascii", "plain ascii"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\xEF\xBF\xBD", R},
      {"a\xff", "a" + R},
      {"\x80\xbf", R + R},                  // stray continuation bytes
      {"\xC0\xAF", R + R},                  // overlong two-byte form
      {"\xE0\x80\x80", R + R + R},          // overlong three-byte form
      {"\xED\xA0\x80", R + R + R},          // surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},  // above U+10FFFF
      {"\xF5\x80", R + R},                  // never a lead byte
      {"\xE2\x82", R},                      // truncated at the end
      {"\xE2\x82x", R + "x"},               // truncated before ASCII
      {"\xF0\x9F\x98\xE2\x82\xAC", R + "\xE2\x82\xAC"},
      {"\xE2\x82\xE2\x82\xAC", R + "\xE2\x82\xAC"},
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},  // U+10FFFF itself
      {std::string("\0x", 2), std::string("\0x", 2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8::decodeLossy(c.bytes), c.decoded) << testing::PrintToString(c.bytes);
  }
}

TEST(Utf8Test, LimitCountsScalarValuesNotBytes) {
  std::string mixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 4 characters, 10 bytes
  EXPECT_EQ(utf8::decodeLossy(mixed, 0), "");
  EXPECT_EQ(utf8::decodeLossy(mixed, 1), "a");
  EXPECT_EQ(utf8::decodeLossy(mixed, 3), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(utf8::decodeLossy(mixed, 4), mixed);
  EXPECT_EQ(utf8::decodeLossy(mixed, 200), mixed);
  EXPECT_EQ(utf8::decodeLossy("\xff\xff\xff", 2), R + R);
  EXPECT_EQ(utf8::decodeLossy("\xE2\x82\xff", 1), R);
}

}  // namespace quarn

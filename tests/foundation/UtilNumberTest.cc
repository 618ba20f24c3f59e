#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "foundation/DlAbortEx.h"
#include "foundation/OutputFile.h"
#include "foundation/util_number.h"

namespace quarn {

TEST(UtilNumberTest, UitosTable) {
  const struct {
    uint64_t value;
    bool comma;
    const char* expected;
  } cases[] = {
      {0, false, "0"},
      {0, true, "0"},
      {123, true, "123"},
      {1234, true, "1,234"},
      {123456, true, "123,456"},
      {1234567, true, "1,234,567"},
      {1234567, false, "1234567"},
      {18446744073709551615ull, true, "18,446,744,073,709,551,615"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::uitos(c.value, c.comma)) << c.value;
  }
  EXPECT_EQ("65,535", util::uitos(static_cast<uint16_t>(65535), true));
  EXPECT_EQ("9223372036854775807", util::uitos(std::numeric_limits<int64_t>::max()));
}

TEST(UtilNumberTest, ItosTable) {
  const struct {
    int64_t value;
    bool comma;
    const char* expected;
  } cases[] = {
      {0, false, "0"},
      {-1234, true, "-1,234"},
      {-1234, false, "-1234"},
      {-123, true, "-123"},
      {1000, true, "1,000"},
      {std::numeric_limits<int64_t>::max(), true, "9,223,372,036,854,775,807"},
      {std::numeric_limits<int64_t>::min(), false, "-9223372036854775808"},
      {std::numeric_limits<int64_t>::min(), true, "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::itos(c.value, c.comma)) << c.value;
  }
}

TEST(UtilNumberTest, SecfmtTable) {
  const struct {
    int64_t sec;
    const char* expected;
  } cases[] = {
      {0, "0s"},      {59, "59s"},      {60, "1m"},   {61, "1m1s"},   {3600, "1h"},
      {3601, "1h1s"}, {3725, "1h2m5s"}, {7200, "2h"}, {3660, "1h1m"}, {360000, "100h"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::secfmt(c.sec)) << c.sec;
  }
}

TEST(UtilNumberTest, AbbrevSizeTable) {
  const struct {
    int64_t size;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {500, "500"},
      {921, "921"},
      {922, "0.9Ki"},
      {1000, "0.9Ki"},
      {1024, "1.0Ki"},
      {1500, "1.4Ki"},
      {10 * 1024, "10Ki"},
      {12345, "12Ki"},
      {1023 * 1024, "0.9Mi"},
      {5 * 1024 * 1024 + 512 * 1024, "5.5Mi"},
      {int64_t{1} << 30, "1.0Gi"},
      {int64_t{5} << 40, "5,120Gi"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::abbrevSize(c.size)) << c.size;
  }
}

TEST(UtilNumberTest, ParseIntNoThrowTable) {
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"12 ", true, 12},
      {" -5", true, -5},
      {"12\t\n", true, 12},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"   ", true, 0},
      {"12a", false, 0},
      {"", false, 0},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999", false, 0},
      {"1 2", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t out = 777;
    EXPECT_EQ(c.ok, util::parseIntNoThrow(out, c.text));
    EXPECT_EQ(c.ok ? c.value : 777, out);
  }
}

TEST(UtilNumberTest, ParseUIntNoThrowAcceptsOnlySignedRange) {
  const struct {
    const char* text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"0", true, 0},           {"2147483647", true, 2147483647u}, {"-1", false, 0},
      {"2147483648", false, 0}, {"4294967295", false, 0},          {"x", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t out = 777;
    EXPECT_EQ(c.ok, util::parseUIntNoThrow(out, c.text));
    EXPECT_EQ(c.ok ? c.value : 777u, out);
  }
}

TEST(UtilNumberTest, ParseLLIntNoThrow) {
  int64_t out = 7;
  EXPECT_TRUE(util::parseLLIntNoThrow(out, "9223372036854775807"));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), out);
  EXPECT_TRUE(util::parseLLIntNoThrow(out, "-9223372036854775808"));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), out);
  out = 7;
  EXPECT_FALSE(util::parseLLIntNoThrow(out, "9223372036854775808"));
  EXPECT_FALSE(util::parseLLIntNoThrow(out, "1.5"));
  EXPECT_EQ(7, out);
  EXPECT_TRUE(util::parseLLIntNoThrow(out, "ff", 16));
  EXPECT_EQ(255, out);
}

TEST(UtilNumberTest, ParseStopsAtEmbeddedNul) {
  int32_t out = 7;
  EXPECT_FALSE(util::parseIntNoThrow(out, std::string("12\0x", 4)));
  EXPECT_EQ(7, out);
}

TEST(UtilNumberTest, ParseDoubleNoThrow) {
  double out = 7;
  EXPECT_TRUE(util::parseDoubleNoThrow(out, "1.5 "));
  EXPECT_DOUBLE_EQ(1.5, out);
  EXPECT_TRUE(util::parseDoubleNoThrow(out, "-2e3"));
  EXPECT_DOUBLE_EQ(-2000.0, out);
  out = 7;
  EXPECT_FALSE(util::parseDoubleNoThrow(out, ""));
  EXPECT_FALSE(util::parseDoubleNoThrow(out, "1.5x"));
  EXPECT_FALSE(util::parseDoubleNoThrow(out, "1e999"));
  EXPECT_DOUBLE_EQ(7, out);
}

TEST(UtilNumberTest, GetRealSizeTable) {
  const struct {
    const char* text;
    int64_t expected;
  } cases[] = {
      {"0", 0},          {"100", 100},    {"1K", 1024},
      {"1k", 1024},      {"2m", 2097152}, {"2M", 2097152},
      {"10Kxyz", 10240}, {" 3 K", 3072},  {"9223372036854775807", INT64_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, util::getRealSize(c.text)) << c.text;
  }
}

TEST(UtilNumberTest, GetRealSizeErrors) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"-1", "Bad or negative value detected: -1"},
      {"", "Bad or negative value detected: "},
      {"abc", "Bad or negative value detected: abc"},
      {"Kb", "Bad or negative value detected: Kb"},
      {"1.5M", "Bad or negative value detected: 1.5M"},
      {"9223372036854775807K", "Failed to convert string into value: overflow/underflow"},
      {"9007199254740992M", "Failed to convert string into value: overflow/underflow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      util::getRealSize(c.text);
      ADD_FAILURE() << "no exception";
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ(c.message, e.what());
      EXPECT_EQ(error_code::UNKNOWN_ERROR, e.getErrorCode());
    }
  }
}

}  // namespace quarn

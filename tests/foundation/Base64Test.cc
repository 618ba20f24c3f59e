#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/base32.h"
#include "foundation/base64.h"

namespace quarn {

namespace {

std::string b64enc(const std::string& s) {
  return base64::encode(s.begin(), s.end());
}
std::string b64dec(const std::string& s) {
  return base64::decode(s.begin(), s.end());
}
std::string b32dec(const std::string& s) {
  return base32::decode(s.begin(), s.end());
}

}  // namespace

TEST(Base64Test, EncodeTable) {
  const struct {
    std::string plain, encoded;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\x00\xFF\xFE\xFB\xEF", 5), "AP/+++8="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.encoded, b64enc(c.plain));
    EXPECT_EQ(c.plain, b64dec(c.encoded)) << c.encoded;
  }
}

TEST(Base64Test, EncodeByteRange) {
  const std::vector<unsigned char> bytes = {0xFF, 0x00};
  EXPECT_EQ("/wA=", base64::encode(bytes.begin(), bytes.end()));
}

TEST(Base64Test, DecodeTable) {
  const struct {
    std::string encoded, plain;
  } cases[] = {
      {"Zm9v", "foo"},   {"Zm 9v\n", "foo"}, {"Z-m_9\x80v", "foo"}, {"Zm8=", "fo"}, {"Zg==", "f"},
      {"Zg= =", "f"},    {"Zm9vYg", ""},     {"Zm9vY", ""},         {"Zg=a", ""},   {"Z===", ""},
      {"====", ""},      {"Zm9vZ===", ""},  // a bad group discards the bytes decoded before it
      {"Zg==Zm9v", "f"}, {"Zg==!!", "f"},    {"Zg=", ""},           {" \r\n", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.plain, b64dec(c.encoded)) << c.encoded;
  }
}

TEST(Base64Test, RoundTripsEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) {
    all += static_cast<char>(i);
  }
  for (size_t len = 0; len <= all.size(); len += 37) {
    std::string s = all.substr(0, len);
    EXPECT_EQ(s, b64dec(b64enc(s))) << len;
  }
}

TEST(Base32Test, DecodeTable) {
  const struct {
    std::string encoded, plain;
  } cases[] = {
      {"MZXW6===", "foo"},
      {"mzxw6===", "foo"},
      {"MZXW6", ""},
      {"MZXW601=", ""},
      {"MZXW6=1=", "foo"},
      {"", ""},
      {"MY======", "f"},
      {"MZXQ====", "fo"},
      {"MZXW6YQ=", "foob"},
      {"MZXW6YTB", "fooba"},
      {"MZXW6YTBOI======", "foobar"},
      {"MZXW6===MZXW6===", "foo"},
      {"MZXW6YTBOI=====", ""},
      {"MZXW6YT ", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.plain, b32dec(c.encoded)) << c.encoded;
  }
}

TEST(Base32Test, DecodesInfoHashLength) {
  // 32 characters give the 20 bytes of an info hash.
  const std::string hash32 = "7777777777777777777777777777777A";
  std::string bytes = b32dec(hash32);
  ASSERT_EQ(20u, bytes.size());
  EXPECT_EQ('\xFF', bytes[0]);
  EXPECT_EQ('\xE0', bytes[19]);
}

}  // namespace quarn

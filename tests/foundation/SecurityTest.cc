#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/FatalException.h"
#include "foundation/util_security.h"
#include "foundation/util_string.h"

namespace quarn {

using util::security::HMAC;
using util::security::HMACResult;
using util::security::PBKDF2;

namespace {

std::string hex(const std::string& bytes) {
  return util::toHex(bytes);
}

}  // namespace

TEST(SecurityTest, CompareBytesAndBuffers) {
  for (int a = 0; a < 256; a += 17) {
    for (int b = 0; b < 256; b += 5) {
      EXPECT_EQ(a == b, util::security::compare(static_cast<uint8_t>(a), static_cast<uint8_t>(b)));
    }
  }
  EXPECT_TRUE(util::security::compare("", "", 0));
  EXPECT_TRUE(util::security::compare("secret", "secret", 6));
  EXPECT_FALSE(util::security::compare("secret", "secreT", 6));
  EXPECT_FALSE(util::security::compare("Secret", "secret", 6));
}

// RFC 4231 test cases 1, 2, 3, 4, 6 and 7 (case 5 is a truncated output).
TEST(SecurityTest, HmacRfc4231) {
  struct Case {
    const char* algorithm;
    std::string key;
    std::string data;
    const char* expected;
  } cases[] = {
      {"sha-256", std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"sha-224", std::string(20, '\x0b'), "Hi There",
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22"},
      {"sha-384", std::string(20, '\x0b'), "Hi There",
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2"
       "fa9cb6"},
      {"sha-512", "Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8"
       "f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {"sha-256", "Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {"sha-256", std::string(20, '\xaa'), std::string(50, '\xdd'),
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {"sha-256",
       "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16"
       "\x17\x18\x19",
       std::string(50, '\xcd'), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {"sha-256", std::string(131, '\xaa'),
       "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {"sha-512", std::string(131, '\xaa'),
       "Test Using Larger Than Block-Size Key - Hash Key First",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d"
       "6a1e5295e64f73f63f0aec8b915a985d786598"},
      {"sha-256", std::string(131, '\xaa'),
       "This is a test using a larger than block-size key and a larger than block-size data. The "
       "key needs to be hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
      // A key of exactly the block size is used as it is, not hashed.
      {"sha-256", std::string(64, '\xab'), "block",
       "074c6c01097a158c3a74cd6116be761d17f03fe02febe16fb1ac9dcba4bc0623"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    HMAC hmac(c.algorithm, c.key.data(), c.key.size());
    EXPECT_EQ(c.expected, hex(hmac.getResult(c.data).getBytes()));
    // Fed in pieces, and again right after a result.
    hmac.update(c.data.substr(0, 3));
    hmac.update(c.data.substr(3));
    EXPECT_EQ(c.expected, hex(hmac.getResult().getBytes()));
  }
}

TEST(SecurityTest, HmacResultsCompare) {
  auto hmac = HMAC::create("sha-1", "key", 3);
  ASSERT_NE(nullptr, hmac);
  HMACResult first = hmac->getResult("token");
  HMACResult second = hmac->getResult("token");
  EXPECT_TRUE(first == second);
  EXPECT_FALSE(first == hmac->getResult("other"));
  HMAC longer("sha-256", "key", 3);
  HMACResult different = longer.getResult("token");
  EXPECT_THROW((void)(first == different), std::domain_error);
}

TEST(SecurityTest, SupportedAlgorithms) {
  EXPECT_TRUE(HMAC::supports("sha-1"));
  EXPECT_TRUE(HMAC::supports("sha-512"));
  EXPECT_FALSE(HMAC::supports("md5"));
  EXPECT_FALSE(HMAC::supports("adler32"));
  EXPECT_FALSE(HMAC::supports("nonsense"));
  EXPECT_EQ(nullptr, HMAC::create("md5", "k", 1));
  EXPECT_THROW(HMAC("md5", "k", 1), FatalException);
  EXPECT_EQ(nullptr, HMAC::createRandom("nonsense"));
  auto random = HMAC::createRandom();
  ASSERT_NE(nullptr, random);
  EXPECT_EQ(20u, random->length());
  auto other = HMAC::createRandom();
  EXPECT_FALSE(random->getResult("x") == other->getResult("x"));
}

// RFC 6070 (the case of 16777216 iterations is left out for time).
TEST(SecurityTest, Pbkdf2Rfc6070) {
  struct Case {
    std::string password;
    std::string salt;
    size_t iterations;
    size_t keyLength;
    const char* expected;
  } cases[] = {
      {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
       "56fa6aa75548099dcc37d7f03425e0c3"},
      // Key length 0 means the digest length; 0 iterations act like 1.
      {"password", "salt", 0, 0, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    HMAC hmac("sha-1", c.password.data(), c.password.size());
    EXPECT_EQ(c.expected,
              hex(PBKDF2(&hmac, c.salt.data(), c.salt.size(), c.iterations, c.keyLength)));
  }
  EXPECT_THROW(PBKDF2(nullptr, "s", 1, 1), FatalException);
}

}  // namespace quarn

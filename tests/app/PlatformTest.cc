#include "app/Platform.h"

#include <gtest/gtest.h>
#include <libintl.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>

namespace quarn {

// Tear-down frees process-wide state (the option registry, the c-ares and
// OpenSSL set-up) that the other suites of this binary go on using, so the
// checks run in a child process.
void setsUpAndTearsDownOnce() {
  ASSERT_FALSE(Platform::isInitialized());
  EXPECT_FALSE(Platform::tearDown());
  {
    Platform platform;
    EXPECT_TRUE(Platform::isInitialized());
    EXPECT_FALSE(Platform::setUp());
    EXPECT_STREQ("quarn", textdomain(nullptr));
    // The legacy provider makes the old digests available.
    EVP_MD* md4 = EVP_MD_fetch(nullptr, "MD4", nullptr);
    EXPECT_NE(nullptr, md4);
    EVP_MD_free(md4);
  }
  EXPECT_FALSE(Platform::isInitialized());
  EXPECT_FALSE(Platform::tearDown());
  EXPECT_TRUE(Platform::setUp());
  EXPECT_TRUE(Platform::tearDown());
}

TEST(PlatformTest, SetsUpAndTearsDownOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setsUpAndTearsDownOnce();
        std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace quarn

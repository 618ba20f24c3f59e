#include "engine/Platform.h"

#include <gtest/gtest.h>
#include <libintl.h>
#include <openssl/evp.h>

#include <cstring>

namespace quarn {

TEST(PlatformTest, SetsUpAndTearsDownOnce) {
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

}  // namespace quarn

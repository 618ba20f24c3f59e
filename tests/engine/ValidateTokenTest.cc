#include <memory>

#include <gtest/gtest.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/FakeEventPoll.h"

namespace quarn {
namespace {

class ValidateTokenTest : public ::testing::Test {
 protected:
  Option option_;
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  void SetUp() override { engine_.setOption(&option_); }
};

TEST_F(ValidateTokenTest, EveryTokenPassesWithoutSecret) {
  EXPECT_TRUE(engine_.validateToken(""));
  EXPECT_TRUE(engine_.validateToken("anything"));
}

TEST_F(ValidateTokenTest, OnlyTheSecretPasses) {
  option_.put(PREF_RPC_SECRET, "s3cret");
  EXPECT_TRUE(engine_.validateToken("s3cret"));
  EXPECT_FALSE(engine_.validateToken("s3cre"));
  EXPECT_FALSE(engine_.validateToken("s3cret2"));
  EXPECT_FALSE(engine_.validateToken(""));
  EXPECT_TRUE(engine_.validateToken("s3cret"));
}

// An empty secret is still a secret: only the empty token matches it.
TEST_F(ValidateTokenTest, EmptySecretCountsAsDefined) {
  option_.put(PREF_RPC_SECRET, "");
  EXPECT_TRUE(engine_.validateToken(""));
  EXPECT_FALSE(engine_.validateToken("x"));
}

}  // namespace
}  // namespace quarn

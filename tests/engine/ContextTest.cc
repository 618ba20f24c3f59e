#include "engine/Context.h"

#include <gtest/gtest.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"

namespace quarn {

TEST(ContextTest, EmbeddedStartUpFillsTheGlobalOptions) {
  Context context(false, 0, nullptr, {{"no-conf", "true"}, {"max-tries", "4"}});
  EXPECT_EQ("4", context.getOption()->get(PREF_MAX_TRIES));
  EXPECT_TRUE(context.getOption()->getAsBool(PREF_QUIET));
}

TEST(ContextTest, EmbeddedFailureRaisesInsteadOfExiting) {
  try {
    Context context(false, 0, nullptr, {{"no-conf", "true"}, {"timeout", "0"}});
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Option processing failed", e.what());
  }
}

}  // namespace quarn

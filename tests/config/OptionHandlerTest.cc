#include <gtest/gtest.h>

#include "config/DefaultOptionHandler.h"
#include "config/NumberOptionHandler.h"
#include "config/Option.h"
#include "config/OptionHandlerException.h"
#include "config/help_tags.h"
#include "config/prefs.h"

namespace quarn {

TEST(HelpTagTest, NamesAndLookups) {
  EXPECT_STREQ("#basic", strHelpTag(TAG_BASIC));
  EXPECT_STREQ("#help", strHelpTag(TAG_HELP));
  EXPECT_STREQ("UNKNOWN", strHelpTag(15));
  EXPECT_EQ(TAG_DEPRECATED, idHelpTag("#deprecated"));
  EXPECT_EQ(15u, idHelpTag("#BASIC"));
  EXPECT_EQ(15u, idHelpTag("basic"));
  EXPECT_EQ(15u, idHelpTag("#all"));
}

TEST(AbstractOptionHandlerTest, TagString) {
  DefaultOptionHandler h(PREF_DIR);
  EXPECT_EQ("", h.toTagString());
  h.addTag(TAG_DEPRECATED);
  h.addTag(TAG_BASIC);
  EXPECT_EQ("#basic, #deprecated", h.toTagString());
  EXPECT_TRUE(h.hasTag(TAG_BASIC));
  EXPECT_FALSE(h.hasTag(TAG_HTTP));
}

TEST(AbstractOptionHandlerTest, FlagSettersTouchOnlyTheirOwnBit) {
  DefaultOptionHandler h(PREF_DIR);
  h.setInitialOption(true);
  h.setChangeGlobalOption(true);
  h.setCumulative(true);
  h.setChangeGlobalOption(false);
  EXPECT_TRUE(h.getInitialOption());
  EXPECT_FALSE(h.getChangeGlobalOption());
  EXPECT_TRUE(h.getCumulative());
  EXPECT_FALSE(h.getChangeOption());
  EXPECT_FALSE(h.getChangeOptionForReserved());
  EXPECT_FALSE(h.getEraseAfterParse());
  EXPECT_FALSE(h.isHidden());
  h.hide();
  EXPECT_TRUE(h.isHidden());
  EXPECT_TRUE(h.getInitialOption());
}

TEST(AbstractOptionHandlerTest, RejectedValueNamesTheOptionWithTheCauseBelow) {
  NumberOptionHandler h(PREF_MAX_TRIES, "", "", 0, -1);
  Option o;
  try {
    h.parse(o, "abc");
    FAIL();
  } catch (const OptionHandlerException& e) {
    EXPECT_EQ(error_code::OPTION_ERROR, e.getErrorCode());
    EXPECT_EQ(PREF_MAX_TRIES, e.getPref());
    EXPECT_STREQ("We encountered a problem while processing the option '--max-tries'.", e.what());
    ASSERT_TRUE(e.getCause());
    EXPECT_STREQ("Bad number abc", e.getCause()->what());
    auto trace = e.stackTrace();
    EXPECT_EQ(2, std::count(trace.begin(), trace.end(), '\n'));
    EXPECT_NE(std::string::npos, trace.find("\n  -> ["));
    auto copy = e.copy();
    EXPECT_NE(nullptr, dynamic_cast<OptionHandlerException*>(copy.get()));
  }
  EXPECT_FALSE(o.defined(PREF_MAX_TRIES));
}

}  // namespace quarn

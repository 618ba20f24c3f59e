#include "app/Context.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/MultiUrlRequestInfo.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/Notifier.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/UriListParser.h"
#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

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

TEST(ContextTest, InputListIsTakenOverPositionalArgumentsAndOneShotOptionsGo) {
  test::TempDir dir;
  test::writeFile(dir.file("list"), "http://127.0.0.1/1\nhttp://127.0.0.1/2\n");
  char prog[] = "quarnc";
  char uri[] = "http://127.0.0.1/positional";
  char* argv[] = {prog, uri};
  Context context(false, 2, argv,
                  {{"no-conf", "true"},
                   {"input-file", dir.file("list")},
                   {"out", "x.bin"},
                   {"checksum", "sha-1=0000000000000000000000000000000000000000"},
                   {"dscp", "10"}});
  const auto& reqinfo = context.getReqinfo();
  ASSERT_NE(nullptr, reqinfo);
  reqinfo->setUseSignalHandlers(false);
  ASSERT_EQ(0, reqinfo->prepare());
  auto* rgman = reqinfo->getDownloadEngine()->getRequestGroupMan();
  const auto& waiting = rgman->getReservedGroups();
  ASSERT_EQ(2u, waiting.size());
  EXPECT_EQ((std::vector<std::string>{"http://127.0.0.1/1"}),
            waiting[0].second->getDownloadContext()->getFirstFileEntry()->getUris());
  EXPECT_EQ(nullptr, rgman->getUriListParser());
  Notifier::setInstance(nullptr);
  for (const Pref* pref : {PREF_OUT, PREF_INPUT_FILE, PREF_CHECKSUM}) {
    EXPECT_FALSE(context.getOption()->defined(pref)) << pref->k;
  }
  EXPECT_EQ(40, SocketCore::ipDscp_);
}

TEST(ContextTest, DeferredInputListMakesNoDownloadYet) {
  test::TempDir dir;
  test::writeFile(dir.file("list"), "http://127.0.0.1/1\n");
  Context context(
      false, 0, nullptr,
      {{"no-conf", "true"}, {"input-file", dir.file("list")}, {"deferred-input", "true"}});
  const auto& reqinfo = context.getReqinfo();
  ASSERT_NE(nullptr, reqinfo);
  reqinfo->setUseSignalHandlers(false);
  ASSERT_EQ(0, reqinfo->prepare());
  auto* rgman = reqinfo->getDownloadEngine()->getRequestGroupMan();
  EXPECT_TRUE(rgman->getReservedGroups().empty());
  ASSERT_NE(nullptr, rgman->getUriListParser());
  EXPECT_TRUE(rgman->getUriListParser()->hasNext());
  Notifier::setInstance(nullptr);
}

}  // namespace quarn

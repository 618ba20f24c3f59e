#include "engine/FillRequestGroupCommand.h"

#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupEntry.h"
#include "engine/RequestGroupMan.h"
#include "engine/UriListParser.h"
#include "engine/download_helper.h"
#include "engine/global_halt.h"
#include "foundation/Exception.h"

namespace quarn {

namespace {

class FillRequestGroupCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    global::globalHaltRequested = global::HALT_NONE;
    engine_.setOption(option_.get());
  }

  RequestGroupMan* makeMan(std::vector<std::shared_ptr<RequestGroup>> groups) {
    engine_.setRequestGroupMan(
        std::make_unique<RequestGroupMan>(std::move(groups), 5, option_.get()));
    engine_.addRoutineCommand(std::make_unique<FillRequestGroupCommand>(1, &engine_));
    return engine_.getRequestGroupMan();
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  test::TempDir dir_;
};

}  // namespace

TEST_F(FillRequestGroupCommandTest, EndsWhenEverythingIsDone) {
  auto g = test::makeGroup(option_, "", {"http://127.0.0.1/"});
  auto* rgman = makeMan({g});
  auto entry = std::make_unique<RequestGroupEntry>(g.get());
  ASSERT_EQ(1, engine_.run(true));
  EXPECT_EQ(1u, rgman->countRequestGroup());
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  entry.reset();
  engine_.run(true);
  EXPECT_EQ(0u, rgman->countRequestGroup());
  EXPECT_EQ(1u, rgman->getDownloadResults().size());
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(FillRequestGroupCommandTest, EndsOnHalt) {
  auto g = test::makeGroup(option_, "", {"http://127.0.0.1/"});
  makeMan({g});
  RequestGroupEntry entry(g.get());
  engine_.run(true);
  engine_.requestHalt();
  engine_.run(true);
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(FillRequestGroupCommandTest, FailingFillIsRetriedBoundedTimesPerTurn) {
  const std::string path = dir_.file("list");
  std::string text;
  const int entries = 3 * FillRequestGroupCommand::MAX_FILL_ATTEMPTS_PER_TURN;
  for (int i = 0; i < entries; ++i) {
    text += "http://127.0.0.1/" + std::to_string(i) + "\n split=zero\n";
  }
  test::writeFile(path, text);
  auto* rgman = makeMan({});
  rgman->setUriListParser(openUriListParser(path));
  // One turn reads (and fails on) only as many entries as it may retry, and
  // the command stays to try again in the next turn.
  ASSERT_EQ(1, engine_.run(true));
  EXPECT_TRUE(rgman->queueCheckRequested());
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  ASSERT_EQ(1, engine_.run(true));
  int left = 0;
  auto parser = rgman->getUriListParser();
  ASSERT_NE(nullptr, parser);
  while (parser->hasNext()) {
    std::vector<std::string> uris;
    Option op;
    try {
      parser->parseNext(uris, op);
    } catch (Exception&) {
    }
    left += uris.empty() ? 0 : 1;
  }
  EXPECT_EQ(entries - 2 * FillRequestGroupCommand::MAX_FILL_ATTEMPTS_PER_TURN, left);
}

}  // namespace quarn

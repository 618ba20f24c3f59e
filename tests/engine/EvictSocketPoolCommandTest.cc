#include "engine/EvictSocketPoolCommand.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/RequestGroupMan.h"
#include "foundation/wallclock.h"
#include "net/LoopbackPair.h"

namespace quarn {

using namespace std::chrono_literals;

class EvictSocketPoolCommandTest : public ::testing::Test {
 protected:
  void TearDown() override { global::wallclock().reset(); }

  // A download manager with one waiting download, or none.
  void setDownloads(bool oneWaiting) {
    std::vector<std::shared_ptr<RequestGroup>> groups;
    if (oneWaiting) {
      groups.push_back(test::makeGroup(option_, "file", {"http://192.0.2.1/file"}));
    }
    engine_.setRequestGroupMan(
        std::make_unique<RequestGroupMan>(std::move(groups), 1, option_.get()));
  }

  // Pools one idle connection whose keep time has passed by the time the
  // wall clock moved on by `later`.
  void poolExpiredConnection(std::chrono::seconds later) {
    connection_ = LoopbackPair::make();
    engine_.poolSocket("192.0.2.1", 80, "", 0, connection_.client, 15s);
    global::wallclock() = Timer(global::wallclock().getTime() + later);
  }

  // Runs the command once; true when it finished (false: the engine took it).
  bool runOnce(std::unique_ptr<EvictSocketPoolCommand>& command) {
    if (command->execute()) {
      command.reset();
      return true;
    }
    command.release();
    return false;
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  LoopbackPair connection_;
};

TEST_F(EvictSocketPoolCommandTest, EvictsEachIntervalWhileDownloadsRemain) {
  setDownloads(true);
  auto command = std::make_unique<EvictSocketPoolCommand>(1, &engine_, 30s);
  poolExpiredConnection(16s);
  // Not yet one interval since construction: nothing is evicted.
  EXPECT_FALSE(runOnce(command));
  EXPECT_EQ(1u, engine_.getSocketPoolSize());
  EXPECT_EQ(1u, engine_.countRoutineCommands());

  global::wallclock() = Timer(global::wallclock().getTime() + 30s);
  auto again = std::make_unique<EvictSocketPoolCommand>(2, &engine_, 0s);
  EXPECT_FALSE(runOnce(again));
  EXPECT_EQ(0u, engine_.getSocketPoolSize());
}

TEST_F(EvictSocketPoolCommandTest, EndsWithoutEvictingOnceAllDownloadsFinished) {
  setDownloads(false);
  poolExpiredConnection(16s);
  auto command = std::make_unique<EvictSocketPoolCommand>(1, &engine_, 0s);
  EXPECT_TRUE(runOnce(command));
  EXPECT_EQ(1u, engine_.getSocketPoolSize());
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(EvictSocketPoolCommandTest, HaltRequestEndsItWhileDownloadsRemain) {
  setDownloads(true);
  engine_.requestHalt();
  poolExpiredConnection(16s);
  auto command = std::make_unique<EvictSocketPoolCommand>(1, &engine_, 0s);
  EXPECT_TRUE(runOnce(command));
  EXPECT_EQ(1u, engine_.getSocketPoolSize());
}

}  // namespace quarn

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/FakeEventPoll.h"
#include "engine/FillRequestGroupCommand.h"
#include "engine/GroupId.h"
#include "engine/RealtimeCommand.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/TimedHaltCommand.h"
#include "engine/UriListParser.h"
#include "engine/WatchProcessCommand.h"
#include "engine/global_halt.h"
#include "foundation/DlAbortEx.h"
#include "foundation/TempDir.h"
#include "foundation/wallclock.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

// An engine whose manager never reports the downloads finished (the control
// server is on), so routine commands run until they halt the run.
class RoutineCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_.put(PREF_ENABLE_RPC, "true");
    option_.put(PREF_MAX_DOWNLOAD_RESULT, "1000");
    engine_.setOption(&option_);
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 1, &option_));
  }
  void TearDown() override { global::wallclock().reset(); }

  Option option_;
  FakeEventPoll* poll_ = new FakeEventPoll();
  DownloadEngine engine_{std::unique_ptr<EventPoll>(poll_)};
};

TEST_F(RoutineCommandTest, TimedHaltAsksForAGracefulHaltOnce) {
  engine_.addRoutineCommand(std::make_unique<TimedHaltCommand>(engine_.newCUID(), &engine_, 0s));
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_TRUE(engine_.isHaltRequested());
  EXPECT_FALSE(engine_.isForceHaltRequested());
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(RoutineCommandTest, TimedHaltEndsSilentlyWhenAlreadyHalting) {
  engine_.requestHalt();
  engine_.addRoutineCommand(
      std::make_unique<TimedHaltCommand>(engine_.newCUID(), &engine_, 0s, true));
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_FALSE(engine_.isForceHaltRequested());
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(RoutineCommandTest, WatchingALiveProcessKeepsTheRunGoing) {
  // Made two seconds ago, so the first check is due in the next turn.
  global::wallclock() = Timer(Timer::now() - 2s);
  engine_.addRoutineCommand(
      std::make_unique<WatchProcessCommand>(engine_.newCUID(), &engine_, getpid()));
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_FALSE(engine_.isHaltRequested());
  EXPECT_EQ(1u, engine_.countRoutineCommands());
}

TEST_F(RoutineCommandTest, GoneOrImpossibleProcessHaltsTheRun) {
  pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    _exit(0);
  }
  ASSERT_EQ(child, waitpid(child, nullptr, 0));
  for (int64_t pid : {static_cast<int64_t>(child), int64_t{0}, (int64_t{1} << 32) + getpid()}) {
    DownloadEngine engine(std::make_unique<FakeEventPoll>());
    engine.setOption(&option_);
    engine.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 1, &option_));
    global::wallclock() = Timer(Timer::now() - 2s);
    engine.addRoutineCommand(std::make_unique<WatchProcessCommand>(engine.newCUID(), &engine, pid));
    engine.setNoWait(true);
    engine.run(true);
    EXPECT_TRUE(engine.isHaltRequested()) << pid;
  }
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

class FillRequestGroupCommandTest : public ::testing::Test {
 protected:
  void setUp(bool rpc) {
    option_.put(PREF_ENABLE_RPC, rpc ? "true" : "false");
    engine_.setOption(&option_);
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 1, &option_));
    engine_.addRoutineCommand(
        std::make_unique<FillRequestGroupCommand>(engine_.newCUID(), &engine_));
  }

  Option option_;
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
};

TEST_F(FillRequestGroupCommandTest, EndsOnceEveryDownloadIsFinished) {
  setUp(false);
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

TEST_F(FillRequestGroupCommandTest, StaysWhileTheControlServerIsOnUntilHalt) {
  setUp(true);
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  EXPECT_FALSE(engine_.getRequestGroupMan()->queueCheckRequested());
  engine_.requestHalt();
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

// An input list that cannot be read makes the fill throw; the error is
// reported, the reader is given up and the run ends instead of spinning.
TEST_F(FillRequestGroupCommandTest, UnreadableInputListEndsTheFill) {
  setUp(false);
  TempDir dir;
  engine_.getRequestGroupMan()->setUriListParser(std::make_shared<UriListParser>(dir.path()));
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

// Every entry of this input list has a bad option, so each fill attempt
// throws. One turn gives up after a bounded number of attempts and leaves the
// rest to later turns, so signal handling is never starved.
TEST_F(FillRequestGroupCommandTest, FailingFillsAreRetriedBoundedlyPerTurn) {
  setUp(false);
  TempDir dir;
  {
    std::ofstream list(dir.file("list"));
    for (int i = 0; i < 3 * FillRequestGroupCommand::MAX_FILL_FAILURES_PER_TURN; ++i) {
      list << "http://127.0.0.1/" << i << "\n split=not-a-number\n";
    }
  }
  engine_.getRequestGroupMan()->setUriListParser(std::make_shared<UriListParser>(dir.file("list")));
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  EXPECT_TRUE(engine_.getRequestGroupMan()->queueCheckRequested());
  for (int turn = 0; turn < 10 && engine_.countRoutineCommands() > 0; ++turn) {
    engine_.setNoWait(true);
    engine_.run(true);
  }
  EXPECT_EQ(0u, engine_.countRoutineCommands());
}

class ThrowingRealtimeCommand : public RealtimeCommand {
 public:
  ThrowingRealtimeCommand(RequestGroup* group, DownloadEngine* e, int* handled)
      : RealtimeCommand(1, group, e), handled_(handled) {}

 protected:
  bool executeInternal() override { throw DL_ABORT_EX("failed"); }
  bool handleException(Exception&) override {
    ++*handled_;
    return true;
  }

 private:
  int* handled_;
};

// A real-time command counts as one command of its download for its whole
// life, keeps the loop from waiting and hands its failures to its handler.
TEST(RealtimeCommandTest, CountsOnItsDownloadAndHandlesItsFailure) {
  auto option = std::make_shared<Option>();
  RequestGroup group(GroupId::create(), option);
  DownloadEngine engine(std::make_unique<FakeEventPoll>());
  int handled = 0;
  auto command = std::make_unique<ThrowingRealtimeCommand>(&group, &engine, &handled);
  EXPECT_EQ(1, group.getNumCommand());
  EXPECT_EQ(Command::STATUS_REALTIME, command->getStatus());
  engine.setNoWait(false);
  EXPECT_TRUE(command->execute());
  EXPECT_EQ(1, handled);
  EXPECT_TRUE(engine.getNoWait());
  command.reset();
  EXPECT_EQ(0, group.getNumCommand());
}

}  // namespace
}  // namespace quarn

#include "engine/DownloadEngine.h"

#include <chrono>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "engine/CUIDCounter.h"
#include "engine/FakeEventPoll.h"
#include "engine/TimeBasedCommand.h"
#include "engine/global_halt.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

// Runs a fixed number of times, re-queueing itself in between.
class CountingCommand : public Command {
 public:
  CountingCommand(DownloadEngine* e, int runs, int* executed, bool routine = false)
      : Command(e->newCUID()), e_(e), runs_(runs), executed_(executed), routine_(routine) {}
  bool execute() override {
    ++*executed_;
    if (--runs_ <= 0) {
      return true;
    }
    if (routine_) {
      e_->addRoutineCommand(std::unique_ptr<Command>(this));
    } else {
      e_->addCommand(std::unique_ptr<Command>(this));
    }
    return false;
  }

 private:
  DownloadEngine* e_;
  int runs_;
  int* executed_;
  bool routine_;
};

class DownloadEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { global::globalHaltRequested = global::HALT_NONE; }
  void TearDown() override { global::globalHaltRequested = global::HALT_NONE; }

  FakeEventPoll* poll_ = new FakeEventPoll();
  DownloadEngine engine_{std::unique_ptr<EventPoll>(poll_)};
};

TEST(CUIDCounterTest, StartsAtOneAndWrapsToOne) {
  CUIDCounter counter;
  EXPECT_EQ(1, counter.newID());
  EXPECT_EQ(2, counter.newID());
  CUIDCounter nearEnd(std::numeric_limits<cuid_t>::max() - 1);
  EXPECT_EQ(std::numeric_limits<cuid_t>::max(), nearEnd.newID());
  EXPECT_EQ(1, nearEnd.newID());
}

TEST(CommandTest, TransitStatusKeepsOnlyRealtime) {
  struct C : Command {
    C() : Command(1) {}
    bool execute() override { return true; }
  } c;
  for (auto s :
       {Command::STATUS_ACTIVE, Command::STATUS_ONESHOT_REALTIME, Command::STATUS_INACTIVE}) {
    c.setStatus(s);
    c.transitStatus();
    EXPECT_EQ(Command::STATUS_INACTIVE, c.getStatus());
  }
  c.setStatus(Command::STATUS_REALTIME);
  c.transitStatus();
  EXPECT_EQ(Command::STATUS_REALTIME, c.getStatus());
}

TEST_F(DownloadEngineTest, EmptyRunEndsAndMarksTheLoopFinished) {
  EXPECT_EQ(0, engine_.run());
  EXPECT_EQ(global::HALT_LOOP_FINISHED, global::globalHaltRequested);
  EXPECT_TRUE(poll_->waits.empty());
}

// Commands re-queued during a pass wait for the next pass: each turn runs a
// self-re-queueing command exactly once.
TEST_F(DownloadEngineTest, RequeuedCommandRunsOncePerPass) {
  int executed = 0;
  engine_.addCommand(std::make_unique<CountingCommand>(&engine_, 3, &executed));
  // First turn is a refresh turn; the command is inactive after it, so keep
  // every turn a refresh turn.
  poll_->onPoll = [&] { engine_.setRefreshInterval(0ms); };
  EXPECT_EQ(0, engine_.run());
  EXPECT_EQ(3, executed);
  EXPECT_EQ(3u, poll_->waits.size());
}

// An inactive command runs only on a refresh turn; a woken one runs at once.
TEST_F(DownloadEngineTest, NonRefreshTurnRunsOnlyWokenCommands) {
  int executed = 0;
  auto command = std::make_unique<CountingCommand>(&engine_, 2, &executed);
  Command* raw = command.get();
  engine_.addCommand(std::move(command));
  EXPECT_EQ(1, engine_.run(true));  // refresh turn (last refresh is zero)
  EXPECT_EQ(1, executed);
  EXPECT_EQ(1, engine_.run(true));  // not a refresh turn, inactive: skipped
  EXPECT_EQ(1, executed);
  raw->setStatusActive();
  EXPECT_EQ(1, engine_.run(true));
  EXPECT_EQ(2, executed);
  EXPECT_EQ(0, engine_.run(true));  // both queues empty
}

TEST_F(DownloadEngineTest, WaitUsesRefreshIntervalUnlessNoWait) {
  int executed = 0;
  engine_.addCommand(std::make_unique<CountingCommand>(&engine_, 5, &executed));
  engine_.run(true);  // no-wait is set at construction
  engine_.run(true);
  engine_.setNoWait(true);
  engine_.run(true);
  ASSERT_EQ(3u, poll_->waits.size());
  EXPECT_EQ(0, poll_->waits[0]);
  EXPECT_EQ(1000, poll_->waits[1]);
  EXPECT_EQ(0, poll_->waits[2]);
}

// With nothing but routine commands the loop still sleeps in the poll, so an
// idle run never spins.
TEST_F(DownloadEngineTest, RoutineOnlyLoopSleepsInThePoll) {
  int executed = 0;
  engine_.addRoutineCommand(std::make_unique<CountingCommand>(&engine_, 3, &executed, true));
  EXPECT_EQ(0, engine_.run());
  EXPECT_EQ(3, executed);
  ASSERT_EQ(3u, poll_->waits.size());
  EXPECT_EQ(0, poll_->waits[0]);
  EXPECT_EQ(1000, poll_->waits[1]);
  EXPECT_EQ(1000, poll_->waits[2]);
}

TEST_F(DownloadEngineTest, RefreshIntervalZeroGivesZeroWaitThenBackToDefault) {
  int executed = 0;
  engine_.addCommand(std::make_unique<CountingCommand>(&engine_, 10, &executed));
  engine_.run(true);
  engine_.setRefreshInterval(0ms);
  engine_.run(true);
  EXPECT_EQ(0, poll_->waits.back());
  EXPECT_EQ(2, executed);  // the zero interval made it a refresh turn
  EXPECT_EQ(1000ms, engine_.getRefreshInterval());
}

TEST_F(DownloadEngineTest, SignalValuesTurnIntoHaltsOnce) {
  int executed = 0;
  engine_.addCommand(std::make_unique<CountingCommand>(&engine_, 100, &executed));
  global::globalHaltRequested = global::HALT_GRACEFUL_ASKED;
  engine_.run(true);
  EXPECT_EQ(global::HALT_GRACEFUL_UNDER_WAY, global::globalHaltRequested);
  EXPECT_TRUE(engine_.isHaltRequested());
  EXPECT_FALSE(engine_.isForceHaltRequested());
  // The halt asked for an immediate refresh turn: the one-shot run went on
  // with a turn that did not wait.
  ASSERT_EQ(2u, poll_->waits.size());
  EXPECT_EQ(0, poll_->waits[1]);

  global::globalHaltRequested = global::HALT_EMERGENCY_ASKED;
  engine_.run(true);
  EXPECT_EQ(global::HALT_EMERGENCY_UNDER_WAY, global::globalHaltRequested);
  EXPECT_TRUE(engine_.isForceHaltRequested());
}

TEST_F(DownloadEngineTest, SessionIdIsTwentyBytesAndPerEngine) {
  DownloadEngine other(std::make_unique<FakeEventPoll>());
  EXPECT_EQ(20u, engine_.getSessionId().size());
  EXPECT_NE(engine_.getSessionId(), other.getSessionId());
}

class ExitingCommand : public TimeBasedCommand {
 public:
  ExitingCommand(DownloadEngine* e, bool* processed)
      : TimeBasedCommand(e->newCUID(), e, 0s, true), processed_(processed) {}
  bool exitNow = false;

 protected:
  void preProcess() override {
    if (exitNow) {
      enableExit();
    }
  }
  void process() override { *processed_ = true; }

 private:
  bool* processed_;
};

TEST_F(DownloadEngineTest, TimeBasedCommandExitingInPreProcessSkipsProcess) {
  bool processed = false;
  auto command = std::make_unique<ExitingCommand>(&engine_, &processed);
  command->exitNow = true;
  engine_.addRoutineCommand(std::move(command));
  EXPECT_EQ(0, engine_.run());
  EXPECT_FALSE(processed);
}

TEST_F(DownloadEngineTest, TimeBasedCommandRequeuesAsRoutine) {
  bool processed = false;
  auto command = std::make_unique<ExitingCommand>(&engine_, &processed);
  ExitingCommand* raw = command.get();
  engine_.addRoutineCommand(std::move(command));
  EXPECT_EQ(0, engine_.countCommands());
  engine_.setNoWait(true);
  engine_.run(true);
  EXPECT_TRUE(processed);
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  raw->exitNow = true;
  EXPECT_EQ(0, engine_.run());
}

}  // namespace
}  // namespace quarn

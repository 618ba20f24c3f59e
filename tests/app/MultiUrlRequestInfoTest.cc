#include "app/MultiUrlRequestInfo.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadEngineFactory.h"
#include "engine/RequestGroup.h"
#include "engine/global_halt.h"
#include "foundation/File.h"
#include "foundation/TempDir.h"

namespace quarn {
namespace {

std::shared_ptr<Option> defaultOption() {
  auto op = std::make_shared<Option>();
  OptionParser::getInstance()->parseDefaultValues(*op);
  op->put(PREF_QUIET, "true");
  return op;
}

void (*currentHandler(int sig))(int) {
  struct sigaction sa;
  sigaction(sig, nullptr, &sa);
  return sa.sa_handler;
}

TEST(DownloadEngineFactoryTest, EveryEventPollCanBeChosen) {
  for (const char* poll : {"epoll", "poll", "select"}) {
    auto op = defaultOption();
    op->put(PREF_EVENT_POLL, poll);
    auto e = DownloadEngineFactory().newDownloadEngine(op.get(), {});
    EXPECT_NE(nullptr, e->getEventPoll()) << poll;
    EXPECT_NE(nullptr, e->getRequestGroupMan()) << poll;
    EXPECT_EQ(op.get(), e->getOption());
    EXPECT_NE(nullptr, e->getFileAllocationMan());
    EXPECT_NE(nullptr, e->getCheckIntegrityMan());
  }
}

// Fill, the two dispatchers, socket-pool eviction and have-record removal are
// always there; the others only when their options ask for them.
TEST(DownloadEngineFactoryTest, OptionalRoutineCommands) {
  struct Case {
    const char* autoSave;
    const char* saveSession;
    const char* stop;
    const char* stopWithProcess;
    size_t count;
  } cases[] = {
      {"0", "0", "0", nullptr, 5}, {"60", "0", "0", nullptr, 6}, {"0", "30", "0", nullptr, 6},
      {"0", "0", "5", nullptr, 6}, {"0", "0", "0", "1", 6},      {"60", "30", "5", "1", 9},
  };
  for (const auto& c : cases) {
    auto op = defaultOption();
    op->put(PREF_AUTO_SAVE_INTERVAL, c.autoSave);
    op->put(PREF_SAVE_SESSION_INTERVAL, c.saveSession);
    op->put(PREF_STOP, c.stop);
    if (c.stopWithProcess) {
      op->put(PREF_STOP_WITH_PROCESS, c.stopWithProcess);
    }
    auto e = DownloadEngineFactory().newDownloadEngine(op.get(), {});
    EXPECT_EQ(c.count, e->countRoutineCommands()) << c.autoSave << " " << c.stop;
    EXPECT_EQ(0u, e->countCommands());
  }
}

class MultiUrlRequestInfoTest : public ::testing::Test {
 protected:
  void TearDown() override { global::globalHaltRequested = global::HALT_NONE; }
  std::shared_ptr<Option> op_ = defaultOption();
};

TEST_F(MultiUrlRequestInfoTest, SignalHandlersOnlyRecordHaltRequests) {
  MultiUrlRequestInfo info({}, op_, nullptr);
  global::globalHaltRequested = global::HALT_NONE;
  info.setupSignalHandlers();
  EXPECT_EQ(SIG_IGN, currentHandler(SIGPIPE));
  EXPECT_EQ(SIG_IGN, currentHandler(SIGCHLD));
  raise(SIGPIPE);
  raise(SIGINT);
  EXPECT_EQ(global::HALT_GRACEFUL_ASKED, global::globalHaltRequested);
  raise(SIGINT);  // the loop has not acted yet: no change
  EXPECT_EQ(global::HALT_GRACEFUL_ASKED, global::globalHaltRequested);
  raise(SIGTERM);
  EXPECT_EQ(global::HALT_EMERGENCY_ASKED, global::globalHaltRequested);
  info.resetSignalHandlers();
  for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGCHLD, SIGPIPE}) {
    EXPECT_EQ(SIG_DFL, currentHandler(sig)) << sig;
  }
}

TEST_F(MultiUrlRequestInfoTest, RunWithoutDownloadsEndsWithStatusZero) {
  MultiUrlRequestInfo info({}, op_, nullptr);
  EXPECT_EQ(0, info.execute());
  EXPECT_EQ(global::HALT_LOOP_FINISHED, global::globalHaltRequested);
  EXPECT_EQ(SIG_DFL, currentHandler(SIGINT));
}

TEST_F(MultiUrlRequestInfoTest, SecureRpcWithoutCertificateFailsPreparation) {
  op_->put(PREF_ENABLE_RPC, "true");
  op_->put(PREF_RPC_SECURE, "true");
  op_->put(PREF_RPC_CERTIFICATE, "");
  MultiUrlRequestInfo info({}, op_, nullptr);
  EXPECT_EQ(1, info.execute());
  EXPECT_EQ(SIG_DFL, currentHandler(SIGINT));
}

TEST_F(MultiUrlRequestInfoTest, SessionFileIsWrittenAtTheEndOfTheRun) {
  TempDir dir;
  op_->put(PREF_SAVE_SESSION, dir.file("session"));
  MultiUrlRequestInfo info({}, op_, nullptr);
  EXPECT_EQ(0, info.execute());
  EXPECT_TRUE(File(dir.file("session")).isFile());
}

// A netrc file that others may read is ignored, so even a broken one does not
// stop the run; one readable by its owner only is parsed.
TEST_F(MultiUrlRequestInfoTest, NetrcIsUsedOnlyWithOwnerOnlyPermissions) {
  TempDir dir;
  std::string path = dir.path() + "/netrc";
  std::ofstream(path) << "machine\n";  // incomplete: parsing it fails
  op_->put(PREF_NETRC_PATH, path);
  op_->put(PREF_NO_NETRC, "false");
  chmod(path.c_str(), 0640);
  {
    MultiUrlRequestInfo info({}, op_, nullptr);
    info.setUseSignalHandlers(false);
    EXPECT_EQ(0, info.prepare());
    info.getResult();
  }
  chmod(path.c_str(), 0600);
  {
    MultiUrlRequestInfo info({}, op_, nullptr);
    info.setUseSignalHandlers(false);
    EXPECT_EQ(-1, info.prepare());
  }
}

// Sends the process a signal from inside the loop, as a user would mid-run.
class RaiseCommand : public Command {
 public:
  RaiseCommand(int sig) : Command(0), sig_(sig) {}
  bool execute() override {
    raise(sig_);
    return true;
  }

 private:
  int sig_;
};

// With the control server on, the run only ends through a halt.
TEST_F(MultiUrlRequestInfoTest, SignalDuringRunHaltsIt) {
  struct Case {
    int sig;
    bool forced;
  } cases[] = {{SIGINT, false}, {SIGTERM, true}, {SIGHUP, true}};
  for (const auto& c : cases) {
    op_->put(PREF_ENABLE_RPC, "true");
    // Any free port: the control server listens during the run.
    op_->put(PREF_RPC_LISTEN_PORT, "0");
    MultiUrlRequestInfo info({}, op_, nullptr);
    ASSERT_EQ(0, info.prepare());
    DownloadEngine* e = info.getDownloadEngine();
    e->addRoutineCommand(std::make_unique<RaiseCommand>(c.sig));
    EXPECT_EQ(0, e->run());
    EXPECT_TRUE(e->isHaltRequested()) << c.sig;
    EXPECT_EQ(c.forced, e->isForceHaltRequested()) << c.sig;
    EXPECT_EQ(global::HALT_LOOP_FINISHED, global::globalHaltRequested);
    EXPECT_EQ(0, info.getResult());
    info.resetSignalHandlers();
  }
}

}  // namespace
}  // namespace quarn

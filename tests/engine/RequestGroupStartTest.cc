#include <gtest/gtest.h>

#include <filesystem>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "foundation/DownloadFailureException.h"
#include "storage/DiskAdaptor.h"
#include "storage/PieceStorage.h"
#include "storage/SequentialPicker.h"

namespace quarn {
namespace {

class TorrentMark : public ContextAttribute {};

// Records which way the download was sent.
class RecordingCheckEntry : public CheckIntegrityEntry {
 public:
  RecordingCheckEntry(RequestGroup* group, bool ready, int* incompleteCalls)
      : CheckIntegrityEntry(group), ready_(ready), incompleteCalls_(incompleteCalls) {}
  bool isValidationReady() override { return ready_; }
  void initValidator() override { initialised = true; }
  void onDownloadFinished(std::vector<std::unique_ptr<Command>>&, DownloadEngine*) override {}
  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>&, DownloadEngine*) override {
    ++*incompleteCalls_;
  }
  bool initialised = false;

 private:
  bool ready_;
  int* incompleteCalls_;
};

class RequestGroupStartTest : public ::testing::Test {
 protected:
  RequestGroupStartTest() {
    global_->put(PREF_DRY_RUN, "false");
    global_->put(PREF_CHECK_INTEGRITY, "false");
    global_->put(PREF_ALLOW_OVERWRITE, "false");
    global_->put(PREF_AUTO_FILE_RENAMING, "true");
    global_->put(PREF_CONTINUE, "false");
    global_->put(PREF_REMOVE_CONTROL_FILE, "false");
  }

  // Groups are made before the engine, which holds their commands and is
  // destroyed first.
  void makeEngine() {
    engine_ = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    test::installStubStarter(*engine_);
    engine_->setOption(global_.get());
    engine_->setCheckIntegrityMan(std::make_unique<SequentialPicker<CheckIntegrityEntry>>());
  }

  static size_t countCreateRequest(const std::vector<std::unique_ptr<Command>>& commands) {
    size_t n = 0;
    for (const auto& c : commands) {
      n += dynamic_cast<test::StubConnectionCommand*>(c.get()) != nullptr;
    }
    return n;
  }

  std::shared_ptr<Option> global_ = test::makeGlobalOption();
  test::TempDir dir_;
  std::vector<std::shared_ptr<RequestGroup>> groups_;
  std::unique_ptr<DownloadEngine> engine_;
};

TEST_F(RequestGroupStartTest, DownloadOfUnknownSizeGetsOneConnectionAndNoStorage) {
  for (const char* dryRun : {"false", "true"}) {
    global_->put(PREF_DRY_RUN, dryRun);
    auto g = test::makeGroup(global_, dir_.file("out"), {"http://localhost/a"});
    groups_.push_back(g);
    makeEngine();
    std::vector<std::unique_ptr<Command>> commands;
    g->createInitialCommand(commands, engine_.get());
    EXPECT_EQ(1u, commands.size()) << dryRun;
    EXPECT_EQ(1u, countCreateRequest(commands));
    EXPECT_FALSE(g->getPieceStorage());
    EXPECT_TRUE(engine_->getNoWait());
    engine_.reset();
  }
}

TEST_F(RequestGroupStartTest, TorrentInDryRunIsCancelled) {
  global_->put(PREF_DRY_RUN, "true");
  auto g = test::makeGroup(global_, dir_.file("t"), {"http://localhost/a"});
  g->getDownloadContext()->setAttribute(CTX_ATTR_BT, std::make_shared<TorrentMark>());
  groups_.push_back(g);
  makeEngine();
  std::vector<std::unique_ptr<Command>> commands;
  try {
    g->createInitialCommand(commands, engine_.get());
    FAIL();
  } catch (DownloadFailureException& e) {
    EXPECT_STREQ("Cancel BitTorrent download in dry-run context.", e.what());
    EXPECT_EQ(error_code::UNKNOWN_ERROR, e.getErrorCode());
  }
  EXPECT_TRUE(commands.empty());
}

TEST_F(RequestGroupStartTest, NextCommandsTopUpToSplitAndPieceCount) {
  struct {
    int64_t length;  // 1 KiB pieces
    int alive;
    size_t expected;
  } cases[] = {
      {1024, 3, 1},       // one piece
      {1024, 5, 0},       // split reached
      {10 * 1024, 3, 2},  // split 5 minus 3
      {10 * 1024, 0, 5},  // split 5
      {0, 0, 1},          // size unknown, nothing alive
      {0, 1, 0},          // size unknown, one alive
  };
  for (const auto& c : cases) {
    auto g = test::makeGroup(global_, dir_.file("n"), {"http://localhost/a"}, c.length);
    g->initPieceStorage();
    for (int i = 0; i < c.alive; ++i) {
      g->increaseStreamCommand();
    }
    groups_.push_back(g);
    makeEngine();
    std::vector<std::unique_ptr<Command>> commands;
    g->createNextCommand(commands, engine_.get());
    EXPECT_EQ(c.expected, commands.size()) << c.length << " " << c.alive;
    commands.clear();
    engine_.reset();
  }
}

TEST_F(RequestGroupStartTest, NextCommandsWithAdjustment) {
  struct {
    int64_t length;
    int adjustment;
    size_t expected;
  } cases[] = {
      {0, -1, 0}, {0, 0, 1}, {10 * 1024, -1, 4}, {2 * 1024, 0, 2}, {2 * 1024, -2, 0},
  };
  for (const auto& c : cases) {
    auto g = test::makeGroup(global_, dir_.file("n"), {"http://localhost/a"}, c.length);
    g->initPieceStorage();
    groups_.push_back(g);
    makeEngine();
    std::vector<std::unique_ptr<Command>> commands;
    g->createNextCommandWithAdj(commands, engine_.get(), c.adjustment);
    EXPECT_EQ(c.expected, commands.size()) << c.length << " " << c.adjustment;
    commands.clear();
    engine_.reset();
  }
}

TEST_F(RequestGroupStartTest, CheckEntryIsQueuedOnlyWhenACheckIsWantedAndPossible) {
  struct {
    const char* checkIntegrity;
    bool checksumNeeded;
    bool ready;
    bool queued;
  } cases[] = {
      {"true", false, true, true},
      {"true", false, false, false},
      {"false", false, true, false},
      {"false", true, true, true},
  };
  for (const auto& c : cases) {
    global_->put(PREF_CHECK_INTEGRITY, c.checkIntegrity);
    auto g = test::makeGroup(global_, dir_.file("c"), {"http://localhost/a"}, 4096);
    if (c.checksumNeeded) {
      g->getDownloadContext()->setDigest("sha-1", std::string(20, 'x'));
    }
    g->initPieceStorage();
    groups_.push_back(g);
    makeEngine();
    int incomplete = 0;
    auto entry = std::make_unique<RecordingCheckEntry>(g.get(), c.ready, &incomplete);
    auto* raw = entry.get();
    std::vector<std::unique_ptr<Command>> commands;
    g->processCheckIntegrityEntry(commands, std::move(entry), engine_.get());
    auto* picker = engine_->getCheckIntegrityMan();
    EXPECT_EQ(c.queued ? 1u : 0u, picker->countEntryInQueue()) << c.checkIntegrity;
    EXPECT_EQ(c.queued ? 0 : 1, incomplete);
    if (c.queued) {
      EXPECT_TRUE(raw->initialised);
      EXPECT_FALSE(g->isSaveControlFileEnabled());
    } else {
      EXPECT_TRUE(g->isSaveControlFileEnabled());
    }
    engine_.reset();
  }
}

TEST_F(RequestGroupStartTest, LongerFileIsCutBeforeTheCheck) {
  test::writeFile(dir_.file("long"), std::string(5000, 'x'));
  global_->put(PREF_ALLOW_OVERWRITE, "true");
  global_->put(PREF_CONTINUE, "true");
  auto g = test::makeGroup(global_, dir_.file("long"), {"http://localhost/a"}, 4096);
  g->initPieceStorage();
  g->getPieceStorage()->getDiskAdaptor()->openExistingFile();
  groups_.push_back(g);
  makeEngine();
  int incomplete = 0;
  std::vector<std::unique_ptr<Command>> commands;
  g->processCheckIntegrityEntry(
      commands, std::make_unique<RecordingCheckEntry>(g.get(), false, &incomplete), engine_.get());
  g->closeFile();
  EXPECT_EQ(4096u, std::filesystem::file_size(dir_.file("long")));
  EXPECT_EQ(1, incomplete);
}

}  // namespace
}  // namespace quarn

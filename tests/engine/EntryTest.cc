#include <gtest/gtest.h>

#include "GroupDownloadFixture.h"
#include "TempDir.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/PieceHashCheckIntegrityEntry.h"
#include "engine/RequestGroupMan.h"
#include "engine/SelectEventPoll.h"
#include "engine/SequentialDispatcherCommand.h"
#include "foundation/File.h"
#include "foundation/MessageDigest.h"

namespace quarn {

namespace {

class TestFileAllocationEntry : public FileAllocationEntry {
 public:
  using FileAllocationEntry::FileAllocationEntry;
  void prepareForNextAction(std::vector<std::unique_ptr<Command>>& /*commands*/,
                            DownloadEngine* /*e*/) override {
    ++prepared;
  }
  int prepared = 0;
};

class TestPieceHashEntry : public PieceHashCheckIntegrityEntry {
 public:
  using PieceHashCheckIntegrityEntry::PieceHashCheckIntegrityEntry;
  void onDownloadFinished(std::vector<std::unique_ptr<Command>>& /*commands*/,
                          DownloadEngine* /*e*/) override {}
  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& /*commands*/,
                            DownloadEngine* /*e*/) override {}
};

class NopCommand : public Command {
 public:
  explicit NopCommand(cuid_t cuid) : Command(cuid) {}
  bool execute() override { return true; }
};

}  // namespace

TEST(FileAllocationEntryTest, ForwardsToTheAdaptorsIteratorAndCountsAsACommand) {
  test::TempDir dir;
  test::GroupDownloadFixture dl(dir.file("out"), 1024, 300 * 1024);
  dl.openFile();
  {
    TestFileAllocationEntry entry(dl.group.get(), std::make_unique<NopCommand>(7));
    EXPECT_EQ(1, dl.group->getNumCommand());
    EXPECT_EQ(7, entry.getNextCommand()->getCuid());
    EXPECT_EQ(0, entry.getCurrentLength());
    EXPECT_EQ(300 * 1024, entry.getTotalLength());
    EXPECT_FALSE(entry.finished());
    entry.allocateChunk();
    EXPECT_EQ(256 * 1024, entry.getCurrentLength());
    entry.allocateChunk();
    EXPECT_TRUE(entry.finished());
  }
  EXPECT_EQ(0, dl.group->getNumCommand());
  EXPECT_EQ(300 * 1024, File(dir.file("out")).size());
}

TEST(CheckIntegrityEntryTest, ProgressIsZeroUntilTheValidatorExists) {
  test::TempDir dir;
  std::string data(5000, 'd');
  test::writeFile(dir.file("out"), data);
  test::GroupDownloadFixture dl(dir.file("out"), 1024, 5000);
  TestPieceHashEntry entry(dl.group.get());
  EXPECT_EQ(0, entry.getCurrentLength());
  EXPECT_EQ(0, entry.getTotalLength());
  EXPECT_FALSE(entry.isValidationReady());

  std::vector<std::string> hashes;
  for (size_t off = 0; off < data.size(); off += 1024) {
    auto md = MessageDigest::sha1();
    std::string piece = data.substr(off, 1024);
    md->update(piece.data(), piece.size());
    hashes.push_back(md->digest());
  }
  // One hash short of the number of pieces: not ready.
  dl.ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end() - 1);
  EXPECT_FALSE(entry.isValidationReady());
  dl.ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  EXPECT_TRUE(entry.isValidationReady());

  dl.storage->getDiskAdaptor()->openExistingFile();
  entry.initValidator();
  EXPECT_EQ(5000, entry.getTotalLength());
  while (!entry.finished()) {
    entry.validateChunk();
  }
  EXPECT_EQ(5 * 1024, entry.getCurrentLength());
  EXPECT_TRUE(dl.storage->allDownloadFinished());
}

TEST(CheckIntegrityEntryTest, CutTrailingGarbage) {
  test::TempDir dir;
  test::writeFile(dir.file("out"), std::string(6000, 'd'));
  test::GroupDownloadFixture dl(dir.file("out"), 1024, 5000);
  dl.storage->getDiskAdaptor()->openExistingFile();
  TestPieceHashEntry entry(dl.group.get());
  entry.cutTrailingGarbage();
  EXPECT_EQ(5000, File(dir.file("out")).size());
}

namespace {

struct Work {
  int id;
};

class WorkDispatcher : public SequentialDispatcherCommand<Work> {
 public:
  WorkDispatcher(SequentialPicker<Work>* picker, DownloadEngine* e, std::vector<int>& started)
      : SequentialDispatcherCommand<Work>(1, picker, e), started_(started) {}

 protected:
  std::unique_ptr<Command> createCommand(Work* entry) override {
    started_.push_back(entry->id);
    return std::make_unique<NopCommand>(100 + entry->id);
  }

 private:
  std::vector<int>& started_;
};

class SequentialDispatcherTest : public ::testing::Test {
 protected:
  SequentialDispatcherTest() : engine_(std::make_unique<SelectEventPoll>()) {
    auto group = std::make_shared<RequestGroup>(GroupId::create(), option_);
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{group}, 1, option_.get()));
    for (int id : {1, 2}) {
      picker_.pushEntry(std::make_unique<Work>(Work{id}));
    }
  }
  // Runs the dispatcher once the way the engine does: it owns itself while it
  // is queued.
  bool runOnce(std::unique_ptr<Command>& dispatcher) {
    Command* raw = dispatcher.release();
    if (raw->execute()) {
      delete raw;
      return true;
    }
    return false;
  }

  std::shared_ptr<Option> option_ = std::make_shared<Option>();
  DownloadEngine engine_;
  SequentialPicker<Work> picker_;
  std::vector<int> started_;
};

}  // namespace

TEST_F(SequentialDispatcherTest, StartsOneEntryAtATime) {
  std::unique_ptr<Command> dispatcher =
      std::make_unique<WorkDispatcher>(&picker_, &engine_, started_);
  EXPECT_EQ(Command::STATUS_REALTIME, dispatcher->getStatus());
  EXPECT_FALSE(runOnce(dispatcher));
  EXPECT_EQ((std::vector<int>{1}), started_);
  EXPECT_EQ(1u, engine_.countCommands());
  EXPECT_EQ(1u, engine_.countRoutineCommands());
  EXPECT_TRUE(engine_.getNoWait());

  // The picked entry is still worked on: nothing new starts.
  engine_.setNoWait(false);
  std::unique_ptr<Command> second = std::make_unique<WorkDispatcher>(&picker_, &engine_, started_);
  EXPECT_FALSE(runOnce(second));
  EXPECT_EQ((std::vector<int>{1}), started_);
  EXPECT_FALSE(engine_.getNoWait());
  EXPECT_EQ(1, picker_.getPickedEntry()->id);

  picker_.dropPickedEntry();
  std::unique_ptr<Command> third = std::make_unique<WorkDispatcher>(&picker_, &engine_, started_);
  EXPECT_FALSE(runOnce(third));
  EXPECT_EQ((std::vector<int>{1, 2}), started_);
  EXPECT_EQ(0u, picker_.countEntryInQueue());
}

TEST_F(SequentialDispatcherTest, EndsWhenTheEngineHalts) {
  engine_.requestHalt();
  std::unique_ptr<Command> dispatcher =
      std::make_unique<WorkDispatcher>(&picker_, &engine_, started_);
  EXPECT_TRUE(runOnce(dispatcher));
  EXPECT_TRUE(started_.empty());
}

TEST_F(SequentialDispatcherTest, EndsWhenEveryDownloadIsFinished) {
  engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
      std::vector<std::shared_ptr<RequestGroup>>{}, 1, option_.get()));
  std::unique_ptr<Command> dispatcher =
      std::make_unique<WorkDispatcher>(&picker_, &engine_, started_);
  EXPECT_TRUE(runOnce(dispatcher));
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(2u, picker_.countEntryInQueue());
}

}  // namespace quarn

#include <gtest/gtest.h>

#include <filesystem>

#include "DownloadTestUtil.h"
#include "GroupDownloadFixture.h"
#include "TempDir.h"
#include "engine/CheckIntegrityCommand.h"
#include "engine/CheckIntegrityDispatcherCommand.h"
#include "engine/ChecksumCheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationCommand.h"
#include "engine/FileAllocationDispatcherCommand.h"
#include "engine/PieceHashCheckIntegrityEntry.h"
#include "engine/RequestGroupMan.h"
#include "engine/SelectEventPoll.h"
#include "engine/StreamCheckIntegrityEntry.h"
#include "engine/StreamFileAllocationEntry.h"
#include "foundation/File.h"
#include "foundation/LogCapture.h"
#include "foundation/MessageDigest.h"
#include "storage/AbstractDiskWriter.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultDiskWriter.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/SequentialPicker.h"
#include "storage/UnknownLengthPieceStorage.h"

namespace quarn {

namespace {

class MarkerCommand : public Command {
 public:
  MarkerCommand(cuid_t cuid, std::vector<cuid_t>& ran) : Command(cuid), ran_(ran) {}
  bool execute() override {
    ran_.push_back(getCuid());
    return true;
  }

 private:
  std::vector<cuid_t>& ran_;
};

class RecordingAllocationEntry : public FileAllocationEntry {
 public:
  RecordingAllocationEntry(RequestGroup* group, std::vector<std::string>& events, std::string name)
      : FileAllocationEntry(group), events_(events), name_(std::move(name)) {}
  ~RecordingAllocationEntry() override { events_.push_back(name_ + " destroyed"); }
  void prepareForNextAction(std::vector<std::unique_ptr<Command>>& /*commands*/,
                            DownloadEngine* /*e*/) override {
    events_.push_back(name_ + " prepared");
  }

 private:
  std::vector<std::string>& events_;
  std::string name_;
};

class RecordingCheckEntry : public PieceHashCheckIntegrityEntry {
 public:
  RecordingCheckEntry(RequestGroup* group, std::vector<std::string>& events)
      : PieceHashCheckIntegrityEntry(group), events_(events) {}
  void onDownloadFinished(std::vector<std::unique_ptr<Command>>& /*commands*/,
                          DownloadEngine* /*e*/) override {
    events_.push_back("finished");
  }
  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& /*commands*/,
                            DownloadEngine* /*e*/) override {
    events_.push_back("incomplete");
  }

 private:
  std::vector<std::string>& events_;
};

std::string sha1(const std::string& data) {
  auto md = MessageDigest::sha1();
  md->update(data.data(), data.size());
  return md->digest();
}

class StorageCommandTest : public ::testing::Test {
 protected:
  StorageCommandTest() : engine_(std::make_unique<SelectEventPoll>()) {
    engine_.setFileAllocationMan(std::make_unique<SequentialPicker<FileAllocationEntry>>());
    engine_.setCheckIntegrityMan(std::make_unique<SequentialPicker<CheckIntegrityEntry>>());
    test::installStubStarter(engine_);
  }

  // Turns the engine until no normal command is left.
  void runCommands() {
    for (int i = 0; i < 100 && engine_.countCommands() > 0; ++i) {
      engine_.run(true);
    }
  }

  test::TempDir dir_;
  DownloadEngine engine_;
  std::vector<std::string> events_;
};

}  // namespace

TEST_F(StorageCommandTest, AllocationsRunOneAfterAnotherThenTheDownloadGoesOn) {
  test::GroupDownloadFixture a(dir_.file("a"), 1024, 600 * 1024);
  test::GroupDownloadFixture b(dir_.file("b"), 1024, 300 * 1024);
  engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
      std::vector<std::shared_ptr<RequestGroup>>{a.group, b.group}, 1, a.globalOption.get()));
  a.openFile();
  b.openFile();
  auto* picker = engine_.getFileAllocationMan();
  picker->pushEntry(std::make_unique<RecordingAllocationEntry>(a.group.get(), events_, "a"));
  picker->pushEntry(std::make_unique<RecordingAllocationEntry>(b.group.get(), events_, "b"));
  EXPECT_EQ(1, a.group->getNumCommand());
  engine_.addRoutineCommand(
      std::make_unique<FileAllocationDispatcherCommand>(engine_.newCUID(), picker, &engine_));
  test::LogCapture log(dir_.file("log"));
  for (int i = 0; i < 10 && events_.size() < 4; ++i) {
    engine_.run(true);
  }
  EXPECT_EQ((std::vector<std::string>{"a prepared", "a destroyed", "b prepared", "b destroyed"}),
            events_);
  EXPECT_EQ(600 * 1024, File(dir_.file("a")).size());
  EXPECT_EQ(300 * 1024, File(dir_.file("b")).size());
  EXPECT_EQ(0, a.group->getNumCommand());
  EXPECT_EQ(0, b.group->getNumCommand());
  EXPECT_FALSE(picker->isPicked());
  std::string text = log.text();
  EXPECT_NE(std::string::npos, text.find("Dispatching FileAllocationCommand for CUID#2."));
  EXPECT_NE(std::string::npos, text.find("Dispatching FileAllocationCommand for CUID#3."));
}

TEST_F(StorageCommandTest, HaltEndsTheAllocationWithoutFollowUp) {
  test::GroupDownloadFixture a(dir_.file("a"), 1024, 600 * 1024);
  a.openFile();
  auto* picker = engine_.getFileAllocationMan();
  picker->pushEntry(std::make_unique<RecordingAllocationEntry>(a.group.get(), events_, "a"));
  auto* entry = picker->pickNext();
  a.group->setHaltRequested(true);
  engine_.addCommand(
      std::make_unique<FileAllocationCommand>(engine_.newCUID(), a.group.get(), &engine_, entry));
  runCommands();
  EXPECT_EQ((std::vector<std::string>{"a destroyed"}), events_);
  EXPECT_EQ(0, File(dir_.file("a")).size());
  EXPECT_EQ(0, a.group->getNumCommand());
}

TEST_F(StorageCommandTest, FailedAllocationRecordsTheError) {
  test::GroupDownloadFixture a(dir_.file("a"), 1024, 600 * 1024);
  // The file is never opened: the first chunk fails.
  auto* picker = engine_.getFileAllocationMan();
  picker->pushEntry(std::make_unique<RecordingAllocationEntry>(a.group.get(), events_, "a"));
  auto* entry = picker->pickNext();
  test::LogCapture log(dir_.file("log"));
  engine_.addCommand(
      std::make_unique<FileAllocationCommand>(engine_.newCUID(), a.group.get(), &engine_, entry));
  runCommands();
  EXPECT_EQ((std::vector<std::string>{"a destroyed"}), events_);
  EXPECT_NE(error_code::FINISHED, a.group->getLastErrorCode());
  EXPECT_FALSE(a.group->getLastErrorMessage().empty());
  std::string text = log.text();
  EXPECT_NE(std::string::npos, text.find("CUID#1 - Exception caught while allocating file space."));
  EXPECT_NE(std::string::npos, text.find("CUID#1 - Download not complete: " + dir_.file("a")));
}

namespace {

// A download of five 1 KiB pieces with their hashes, the file on disk with
// the given piece corrupted (none when negative).
std::string writeHashedFile(test::GroupDownloadFixture& dl, const std::string& path, int corrupt) {
  std::string data;
  for (int i = 0; i < 5 * 1024; ++i) {
    data += static_cast<char>(i * 13);
  }
  std::vector<std::string> hashes;
  for (size_t off = 0; off < data.size(); off += 1024) {
    hashes.push_back(sha1(data.substr(off, 1024)));
  }
  dl.ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  if (corrupt >= 0) {
    data[corrupt * 1024 + 7] ^= 1;
  }
  test::writeFile(path, data);
  dl.storage->getDiskAdaptor()->openExistingFile();
  return data;
}

}  // namespace

class CheckOutcomeTest : public StorageCommandTest, public ::testing::WithParamInterface<int> {};

TEST_P(CheckOutcomeTest, ReportsTheOutcomeAndReenablesControlFileSaving) {
  int corrupt = GetParam();
  test::GroupDownloadFixture dl(dir_.file("out"), 1024, 5 * 1024);
  writeHashedFile(dl, dir_.file("out"), corrupt);
  dl.group->setSaveControlFile(false);
  engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
      std::vector<std::shared_ptr<RequestGroup>>{dl.group}, 1, dl.globalOption.get()));
  auto* picker = engine_.getCheckIntegrityMan();
  auto entry = std::make_unique<RecordingCheckEntry>(dl.group.get(), events_);
  entry->initValidator();
  picker->pushEntry(std::move(entry));
  engine_.addRoutineCommand(
      std::make_unique<CheckIntegrityDispatcherCommand>(engine_.newCUID(), picker, &engine_));
  test::LogCapture log(dir_.file("log"));
  for (int i = 0; i < 10 && events_.empty(); ++i) {
    engine_.run(true);
  }
  bool good = corrupt < 0;
  EXPECT_EQ((std::vector<std::string>{good ? "finished" : "incomplete"}), events_);
  EXPECT_TRUE(dl.group->isSaveControlFileEnabled());
  EXPECT_FALSE(picker->isPicked());
  EXPECT_EQ(good, dl.storage->allDownloadFinished());
  if (!good) {
    EXPECT_FALSE(dl.storage->hasPiece(corrupt));
    EXPECT_EQ(4 * 1024, dl.storage->getCompletedLength());
  }
  std::string text = log.text();
  std::string line = good ? "Verification finished "
                            "successfully. file="
                          : "Checksum error detected. file=";
  EXPECT_NE(std::string::npos, text.find(line + dir_.file("out"))) << text;
  EXPECT_NE(std::string::npos, text.find("CUID#1 - Dispatching CheckIntegrityCommand CUID#2."))
      << text;
}

INSTANTIATE_TEST_SUITE_P(GoodAndCorrupted, CheckOutcomeTest, ::testing::Values(-1, 3));

TEST_F(StorageCommandTest, HaltEndsTheCheckWithoutFollowUp) {
  test::GroupDownloadFixture dl(dir_.file("out"), 1024, 5 * 1024);
  writeHashedFile(dl, dir_.file("out"), -1);
  auto* picker = engine_.getCheckIntegrityMan();
  auto owned = std::make_unique<RecordingCheckEntry>(dl.group.get(), events_);
  owned->initValidator();
  picker->pushEntry(std::move(owned));
  auto* entry = picker->pickNext();
  dl.group->setHaltRequested(true);
  test::LogCapture log(dir_.file("log"));
  engine_.addCommand(
      std::make_unique<CheckIntegrityCommand>(engine_.newCUID(), dl.group.get(), &engine_, entry));
  runCommands();
  EXPECT_TRUE(events_.empty());
  EXPECT_FALSE(picker->isPicked());
  EXPECT_EQ(std::string::npos, log.text().find("Verification finished successfully"));
}

// A finished download of 10000 bytes checked against its whole-file digest,
// on the storage of a known size and on that of a size learnt at the end.
struct WholeFileCheckCase {
  bool unknownLength;
  bool digestMatches;
};

class WholeFileCheckTest : public StorageCommandTest,
                           public ::testing::WithParamInterface<WholeFileCheckCase> {};

TEST_P(WholeFileCheckTest, MismatchFailsTheDownloadWithChecksumError) {
  const auto& param = GetParam();
  test::GroupDownloadFixture dl(dir_.file("out"), 1024, 10000);
  std::shared_ptr<PieceStorage> storage = dl.storage;
  if (param.unknownLength) {
    storage = std::make_shared<UnknownLengthPieceStorage>(dl.ctx);
    storage->initStorage();
    dl.group->setPieceStorage(storage);
  }
  std::string data(10000, 'q');
  storage->getDiskAdaptor()->initAndOpenFile();
  storage->getDiskAdaptor()->writeData(reinterpret_cast<const unsigned char*>(data.data()),
                                       data.size(), 0);
  storage->markAllPiecesDone();
  dl.ctx->setDigest("sha-1", sha1(param.digestMatches ? data : data + "x"));
  engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
      std::vector<std::shared_ptr<RequestGroup>>{dl.group}, 1, dl.globalOption.get()));
  auto* picker = engine_.getCheckIntegrityMan();
  auto entry = std::make_unique<ChecksumCheckIntegrityEntry>(dl.group.get());
  entry->initValidator();
  picker->pushEntry(std::move(entry));
  engine_.addRoutineCommand(
      std::make_unique<CheckIntegrityDispatcherCommand>(engine_.newCUID(), picker, &engine_));
  test::LogCapture log(dir_.file("log"));
  for (int i = 0; i < 20 && (picker->hasNext() || picker->isPicked()); ++i) {
    engine_.run(true);
  }
  ASSERT_FALSE(picker->isPicked());
  std::string text = log.text();
  if (param.digestMatches) {
    EXPECT_TRUE(dl.ctx->isChecksumVerified());
    EXPECT_EQ(error_code::FINISHED, dl.group->downloadResult().first);
    EXPECT_NE(std::string::npos, text.find("Verification finished successfully")) << text;
  } else {
    EXPECT_FALSE(dl.ctx->isChecksumVerified());
    EXPECT_EQ(error_code::CHECKSUM_ERROR, dl.group->downloadResult().first);
    EXPECT_NE(std::string::npos, text.find("Checksum error detected")) << text;
    EXPECT_EQ(std::string::npos, text.find("Verification finished successfully")) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(KnownAndUnknownLength, WholeFileCheckTest,
                         ::testing::Values(WholeFileCheckCase{false, true},
                                           WholeFileCheckCase{false, false},
                                           WholeFileCheckCase{true, true},
                                           WholeFileCheckCase{true, false}));

class FollowUpTest : public StorageCommandTest {
 protected:
  FollowUpTest() : dl_(dir_.file("out"), 1024, 5 * 1024) {
    dl_.group->setMaxConcurrentCommands(3);
    dl_.openFile();
  }
  ~FollowUpTest() override { commands_.clear(); }

  std::vector<cuid_t> commandCuids() const {
    std::vector<cuid_t> v;
    for (const auto& c : commands_) {
      v.push_back(c->getCuid());
    }
    return v;
  }

  test::GroupDownloadFixture dl_;
  std::vector<std::unique_ptr<Command>> commands_;
  std::vector<cuid_t> ran_;
};

TEST_F(FollowUpTest, LiveConnectionGoesOnFirstWithOneNewConnectionFewer) {
  StreamFileAllocationEntry entry(dl_.group.get(), std::make_unique<MarkerCommand>(42, ran_));
  engine_.setNoWait(false);
  entry.prepareForNextAction(commands_, &engine_);
  ASSERT_EQ(3u, commands_.size());
  EXPECT_EQ(42, commands_[0]->getCuid());
  EXPECT_EQ(Command::STATUS_ONESHOT_REALTIME, commands_[0]->getStatus());
  EXPECT_TRUE(engine_.getNoWait());
  EXPECT_EQ(nullptr, entry.getNextCommand());

  commands_.clear();
  StreamFileAllocationEntry fresh(dl_.group.get());
  fresh.prepareForNextAction(commands_, &engine_);
  EXPECT_EQ(3u, commands_.size());
}

TEST_F(FollowUpTest, ControlFileIsSavedUnlessSwitchedOffOrComplete) {
  auto file = std::make_shared<DefaultBtProgressInfoFile>(dl_.ctx, dl_.storage, dl_.option.get());
  dl_.group->setProgressInfoFile(file);
  struct Case {
    const char* interval;
    bool complete;
    bool saved;
  } cases[] = {{"0", false, false}, {"60", true, false}, {"60", false, true}};
  for (const auto& c : cases) {
    std::filesystem::remove(file->getFilename());
    dl_.option->put(PREF_AUTO_SAVE_INTERVAL, c.interval);
    if (c.complete) {
      dl_.storage->markAllPiecesDone();
    } else {
      dl_.storage->markPiecesDone(0);
    }
    StreamFileAllocationEntry entry(dl_.group.get());
    entry.prepareForNextAction(commands_, &engine_);
    commands_.clear();
    EXPECT_EQ(c.saved, File(file->getFilename()).exists()) << c.interval << c.complete;
  }
}

TEST_F(FollowUpTest, MemoryMappingOnlyWithAllocation) {
  for (const char* allocation : {"none", "prealloc"}) {
    dl_.option->put(PREF_ENABLE_MMAP, "true");
    dl_.option->put(PREF_FILE_ALLOCATION, allocation);
    auto adaptor = std::static_pointer_cast<DirectDiskAdaptor>(dl_.storage->getDiskAdaptor());
    adaptor->closeFile();
    adaptor->setDiskWriter(std::make_unique<DefaultDiskWriter>(dir_.file("out")));
    adaptor->openFile();
    adaptor->truncate(5 * 1024);
    StreamFileAllocationEntry entry(dl_.group.get());
    entry.prepareForNextAction(commands_, &engine_);
    commands_.clear();
    uint8_t byte = 1;
    adaptor->writeData(&byte, 1, 0);
    auto* writer = static_cast<AbstractDiskWriter*>(adaptor->getDiskWriter().get());
    EXPECT_EQ(std::string(allocation) != "none", writer->isMapped()) << allocation;
  }
}

TEST_F(FollowUpTest, MissingPiecesLeadToAllocationUnlessOnlyCheckingOrNotAllocating) {
  struct Case {
    const char* hashCheckOnly;
    bool allocation;
    size_t queued;
    size_t commands;
  } cases[] = {{"false", true, 1, 0}, {"true", true, 0, 0}, {"false", false, 0, 3}};
  for (const auto& c : cases) {
    dl_.option->put(PREF_HASH_CHECK_ONLY, c.hashCheckOnly);
    dl_.group->setFileAllocationEnabled(c.allocation);
    StreamCheckIntegrityEntry entry(dl_.group.get(), std::make_unique<MarkerCommand>(42, ran_));
    entry.onDownloadIncomplete(commands_, &engine_);
    auto* picker = engine_.getFileAllocationMan();
    EXPECT_EQ(c.queued, picker->countEntryInQueue()) << c.hashCheckOnly << c.allocation;
    EXPECT_EQ(c.commands, commands_.size());
    if (c.queued) {
      auto* queued = picker->pickNext();
      ASSERT_NE(nullptr, queued->getNextCommand());
      EXPECT_EQ(42, queued->getNextCommand()->getCuid());
      picker->dropPickedEntry();
    }
    commands_.clear();
  }
}

TEST_F(FollowUpTest, WholeFileMismatchFailsOrStartsOver) {
  ChecksumCheckIntegrityEntry after(dl_.group.get());
  after.onDownloadIncomplete(commands_, &engine_);
  EXPECT_EQ(error_code::CHECKSUM_ERROR, dl_.group->getLastErrorCode());
  EXPECT_EQ(0u, engine_.getFileAllocationMan()->countEntryInQueue());
  EXPECT_TRUE(commands_.empty());

  ChecksumCheckIntegrityEntry before(dl_.group.get(), std::make_unique<MarkerCommand>(42, ran_));
  before.setRedownload(true);
  before.onDownloadIncomplete(commands_, &engine_);
  EXPECT_EQ(1u, engine_.getFileAllocationMan()->countEntryInQueue());
  engine_.getFileAllocationMan()->pickNext();
  engine_.getFileAllocationMan()->dropPickedEntry();
}

}  // namespace quarn

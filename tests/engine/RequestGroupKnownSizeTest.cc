#include <gtest/gtest.h>

#include <filesystem>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "engine/ChecksumCheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/StreamCheckIntegrityEntry.h"
#include "foundation/DownloadFailureException.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DiskAdaptor.h"
#include "storage/PieceStorage.h"
#include "storage/SequentialPicker.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;

// Downloads of 4 KiB in 1 KiB pieces whose size is known before they start.
class RequestGroupKnownSizeTest : public ::testing::Test {
 protected:
  static constexpr int64_t LENGTH = 4096;

  RequestGroupKnownSizeTest() {
    global_->put(PREF_DRY_RUN, "false");
    global_->put(PREF_CHECK_INTEGRITY, "false");
    global_->put(PREF_ALLOW_OVERWRITE, "false");
    global_->put(PREF_AUTO_FILE_RENAMING, "true");
    global_->put(PREF_CONTINUE, "false");
    global_->put(PREF_REMOVE_CONTROL_FILE, "false");
    global_->put(PREF_HASH_CHECK_ONLY, "false");
    global_->put(PREF_FILE_ALLOCATION, "none");
    global_->put(PREF_NO_FILE_ALLOCATION_LIMIT, "0");
    global_->put(PREF_AUTO_SAVE_INTERVAL, "0");
    global_->put(PREF_ENABLE_MMAP, "false");
  }

  std::shared_ptr<RequestGroup> group(const std::string& name) {
    auto g = test::makeGroup(global_, dir_.file(name), {"http://localhost/" + name}, LENGTH);
    groups_.push_back(g);
    return g;
  }

  void makeEngine() {
    engine_ = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    test::installStubStarter(*engine_);
    engine_->setOption(global_.get());
    engine_->setCheckIntegrityMan(std::make_unique<SequentialPicker<CheckIntegrityEntry>>());
    engine_->setFileAllocationMan(std::make_unique<SequentialPicker<FileAllocationEntry>>());
  }

  std::vector<std::unique_ptr<Command>> start(const std::shared_ptr<RequestGroup>& g) {
    makeEngine();
    std::vector<std::unique_ptr<Command>> commands;
    g->createInitialCommand(commands, engine_.get());
    return commands;
  }

  std::shared_ptr<Option> global_ = test::makeGlobalOption();
  test::TempDir dir_;
  std::vector<std::shared_ptr<RequestGroup>> groups_;
  std::unique_ptr<DownloadEngine> engine_;
};

TEST_F(RequestGroupKnownSizeTest, FreshDownloadOpensItsFileAndStartsItsConnections) {
  auto g = group("fresh");
  auto commands = start(g);
  EXPECT_EQ(4u, commands.size()) << "min(pieces, split)";
  EXPECT_TRUE(fs::exists(dir_.file("fresh")));
  EXPECT_EQ(dir_.file("fresh.quarn"), g->getProgressInfoFile()->getFilename());
  commands.clear();
  engine_.reset();
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest, ExistingFileIsRenamedAwayAndKept) {
  test::writeFile(dir_.file("file.iso"), "precious");
  auto g = group("file.iso");
  auto commands = start(g);
  EXPECT_EQ(dir_.file("file.1.iso"), g->getFirstFilePath());
  EXPECT_EQ("precious", test::readFile(dir_.file("file.iso")));
  commands.clear();
  engine_.reset();
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest, ExistingFileWithoutRenamingRefusesWithCode13) {
  test::writeFile(dir_.file("file.iso"), "precious");
  global_->put(PREF_AUTO_FILE_RENAMING, "false");
  auto g = group("file.iso");
  try {
    start(g);
    FAIL();
  } catch (DownloadFailureException& e) {
    EXPECT_EQ(error_code::FILE_ALREADY_EXISTS, e.getErrorCode());
  }
  EXPECT_EQ("precious", test::readFile(dir_.file("file.iso")));
}

TEST_F(RequestGroupKnownSizeTest, CompleteFileWithoutChecksumNeedsNoCommand) {
  global_->put(PREF_CONTINUE, "true");
  test::writeFile(dir_.file("done"), std::string(LENGTH, 'd'));
  auto g = group("done");
  auto commands = start(g);
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(g->downloadFinished());
  EXPECT_TRUE(g->getDownloadContext()->isChecksumVerified());
  engine_.reset();
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest,
       CompleteFileWithUnverifiedChecksumIsCheckedAndRedownloadsOnMismatch) {
  global_->put(PREF_CONTINUE, "true");
  test::writeFile(dir_.file("sum"), std::string(LENGTH, 's'));
  auto g = group("sum");
  g->getDownloadContext()->setDigest("sha-1", std::string(20, 'x'));
  g->initPieceStorage();
  auto entry = g->createCheckIntegrityEntry();
  auto* checksum = dynamic_cast<ChecksumCheckIntegrityEntry*>(entry.get());
  ASSERT_TRUE(checksum);
  EXPECT_TRUE(checksum->getRedownload());
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest, PartialDownloadResumesFromItsControlFile) {
  {
    auto first = group("part");
    first->initPieceStorage();
    first->getPieceStorage()->getDiskAdaptor()->initAndOpenFile();
    first->getPieceStorage()->markPiecesDone(2048);
    DefaultBtProgressInfoFile(first->getDownloadContext(), first->getPieceStorage(),
                              first->getOption().get())
        .save();
    first->closeFile();
  }
  auto g = group("part");
  auto commands = start(g);
  EXPECT_EQ(dir_.file("part"), g->getFirstFilePath());
  EXPECT_EQ(2048, g->getCompletedLength());
  EXPECT_FALSE(commands.empty());
  commands.clear();
  engine_.reset();
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest, CheckIntegrityWithPieceHashesQueuesAStreamCheck) {
  global_->put(PREF_CHECK_INTEGRITY, "true");
  test::writeFile(dir_.file("hashed"), std::string(LENGTH, 'h'));
  auto g = group("hashed");
  std::vector<std::string> hashes(4, std::string(20, 'x'));
  g->getDownloadContext()->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  auto commands = start(g);
  EXPECT_TRUE(commands.empty());
  EXPECT_EQ(1u, engine_->getCheckIntegrityMan()->countEntryInQueue());
  EXPECT_EQ(dir_.file("hashed"), g->getFirstFilePath()) << "the check decides, no renaming";
  EXPECT_EQ(std::string(LENGTH, 'h'), test::readFile(dir_.file("hashed")));
  engine_.reset();
  g->closeFile();
}

TEST_F(RequestGroupKnownSizeTest, SeveralFilesRefuseToOverwriteWithoutControlFile) {
  auto twoFiles = [this] {
    auto g = group("first");
    auto& ctx = *g->getDownloadContext();
    ctx.getFirstFileEntry()->setLength(2048);
    std::vector<std::shared_ptr<FileEntry>> entries{
        ctx.getFirstFileEntry(),
        std::make_shared<FileEntry>(dir_.file("second"), 2048, 2048,
                                    std::vector<std::string>{"http://localhost/second"})};
    ctx.setFileEntries(entries.begin(), entries.end());
    return g;
  };
  auto fresh = twoFiles();
  auto commands = start(fresh);
  EXPECT_FALSE(commands.empty());
  commands.clear();
  engine_.reset();
  fresh->closeFile();
  fs::remove(dir_.file("first.quarn"));

  auto clash = twoFiles();
  try {
    start(clash);
    FAIL();
  } catch (DownloadFailureException& e) {
    EXPECT_EQ(error_code::FILE_ALREADY_EXISTS, e.getErrorCode());
  }

  global_->put(PREF_DRY_RUN, "true");
  auto dry = twoFiles();
  try {
    start(dry);
    FAIL();
  } catch (DownloadFailureException& e) {
    EXPECT_STREQ("--dry-run in multi-file download is not supported yet.", e.what());
  }
}

}  // namespace
}  // namespace quarn

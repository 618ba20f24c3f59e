#include <gtest/gtest.h>

#include <filesystem>

#include "DownloadTestUtil.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DownloadFailureException.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"
#include "storage/UnknownLengthPieceStorage.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// One-file downloads of 4 KiB in 1 KiB pieces, with real files in a fresh
// directory.
class RequestGroupStorageTest : public ::testing::Test {
 protected:
  static constexpr int64_t LENGTH = 4096;

  RequestGroupStorageTest() {
    global_->put(PREF_AUTO_FILE_RENAMING, "true");
    global_->put(PREF_ALLOW_OVERWRITE, "false");
    global_->put(PREF_CONTINUE, "false");
    global_->put(PREF_CHECK_INTEGRITY, "false");
    global_->put(PREF_REMOVE_CONTROL_FILE, "false");
    global_->put(PREF_DRY_RUN, "false");
    global_->put(PREF_NO_FILE_ALLOCATION_LIMIT, "0");
  }

  std::shared_ptr<RequestGroup> group(const std::string& name, int64_t length = LENGTH) {
    return test::makeGroup(global_, dir_.file(name), {"http://localhost/" + name}, length);
  }

  std::shared_ptr<BtProgressInfoFile> controlFile(const std::shared_ptr<RequestGroup>& g) {
    return std::make_shared<DefaultBtProgressInfoFile>(g->getDownloadContext(),
                                                       g->getPieceStorage(), g->getOption().get());
  }

  static std::string pathOf(const std::shared_ptr<RequestGroup>& g) {
    return g->getDownloadContext()->getFirstFileEntry()->getPath();
  }

  // Writes a control file for `name` that records the first two pieces as
  // complete.
  void writeControlFileWithTwoPieces(const std::string& name) {
    auto g = group(name);
    g->initPieceStorage();
    g->getPieceStorage()->markPiecesDone(2048);
    controlFile(g)->save();
    ASSERT_TRUE(fs::exists(dir_.file(name + ".quarn")));
  }

  static error_code::Value failureCode(const std::function<void()>& action) {
    try {
      action();
    } catch (DownloadFailureException& e) {
      return e.getErrorCode();
    }
    return error_code::FINISHED;
  }

  std::shared_ptr<Option> global_ = test::makeGlobalOption();
  test::TempDir dir_;
};

TEST_F(RequestGroupStorageTest, InitPieceStorageByWhetherTheLengthIsKnown) {
  auto known = group("known");
  known->initPieceStorage();
  EXPECT_TRUE(std::dynamic_pointer_cast<DefaultPieceStorage>(known->getPieceStorage()));
  EXPECT_TRUE(known->getSegmentMan());
  EXPECT_TRUE(known->getPieceStorage()->getDiskAdaptor());
  EXPECT_EQ(LENGTH, known->getTotalLength());

  auto unknown = group("unknown", 0);
  unknown->initPieceStorage();
  EXPECT_TRUE(std::dynamic_pointer_cast<UnknownLengthPieceStorage>(unknown->getPieceStorage()));
  EXPECT_TRUE(unknown->getSegmentMan());

  auto magnet = group("magnet");
  magnet->getDownloadContext()->setKnowsTotalLength(false);
  magnet->initPieceStorage();
  EXPECT_TRUE(std::dynamic_pointer_cast<UnknownLengthPieceStorage>(magnet->getPieceStorage()));
}

TEST_F(RequestGroupStorageTest, ExistingFileWithoutControlFileIsRenamedAway) {
  writeFile(dir_.file("file.iso"), "old");
  auto g = group("file.iso");
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("file.1.iso"), pathOf(g));
  EXPECT_EQ("old", readFile(dir_.file("file.iso")));
}

TEST_F(RequestGroupStorageTest, RenamingTakesATakenNameThatHasAControlFile) {
  writeFile(dir_.file("file.iso"), "old");
  writeFile(dir_.file("file.1.iso"), "partial");
  writeFile(dir_.file("file.1.iso.quarn"), "");
  writeFile(dir_.file("file.2.iso"), "other");
  auto g = group("file.iso");
  g->tryAutoFileRenaming();
  EXPECT_EQ(dir_.file("file.1.iso"), pathOf(g));

  fs::remove(dir_.file("file.1.iso.quarn"));
  g->getDownloadContext()->getFirstFileEntry()->setPath(dir_.file("file.iso"));
  g->tryAutoFileRenaming();
  EXPECT_EQ(dir_.file("file.3.iso"), pathOf(g));
}

TEST_F(RequestGroupStorageTest, RenamedNamesKeepTheExtension) {
  struct {
    const char* path;
    const char* renamed;
  } cases[] = {
      {"archive.tar.gz", "archive.tar.1.gz"},
      {".hidden", ".hidden.1"},
      {"noext", "noext.1"},
      {"a.b/c", "a.b/c.1"},
      {"a.b/.profile", "a.b/.profile.1"},
      {"d/x.", "d/x.1."},
  };
  fs::create_directories(dir_.file("a.b"));
  fs::create_directories(dir_.file("d"));
  for (const auto& c : cases) {
    writeFile(dir_.file(c.path), "x");
    auto g = group(c.path);
    g->tryAutoFileRenaming();
    EXPECT_EQ(dir_.file(c.renamed), pathOf(g)) << c.path;
  }
  // A path with no directory part and a dot-only name.
  auto bare = test::makeGroup(global_, ".x", {}, LENGTH);
  bare->getDownloadContext()->getFirstFileEntry()->setPath("no-such-dir-for-quarn/.x");
  bare->tryAutoFileRenaming();
  EXPECT_EQ("no-such-dir-for-quarn/.x.1", pathOf(bare));
}

TEST_F(RequestGroupStorageTest, RenamingFailuresAreCode13And14) {
  writeFile(dir_.file("file.iso"), "old");
  global_->put(PREF_AUTO_FILE_RENAMING, "false");
  auto g = group("file.iso");
  EXPECT_EQ(error_code::FILE_ALREADY_EXISTS,
            failureCode([&] { g->adjustFilename(controlFile(g)); }));
  EXPECT_EQ(dir_.file("file.iso"), pathOf(g));

  global_->put(PREF_AUTO_FILE_RENAMING, "true");
  auto unnamed = group("");
  unnamed->getDownloadContext()->getFirstFileEntry()->setPath("");
  EXPECT_EQ(error_code::FILE_RENAMING_FAILED, failureCode([&] { unnamed->tryAutoFileRenaming(); }));

  writeFile(dir_.file("x"), "");
  for (int i = 1; i < 10000; ++i) {
    writeFile(dir_.file("x." + std::to_string(i)), "");
  }
  auto full = group("x");
  EXPECT_EQ(error_code::FILE_RENAMING_FAILED, failureCode([&] { full->tryAutoFileRenaming(); }));
  EXPECT_EQ(dir_.file("x"), pathOf(full));
}

TEST_F(RequestGroupStorageTest, AllowOverwriteNeitherRenamesNorProtects) {
  writeFile(dir_.file("file.iso"), std::string(LENGTH, 'x'));
  global_->put(PREF_ALLOW_OVERWRITE, "true");
  auto g = group("file.iso");
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("file.iso"), pathOf(g));
  EXPECT_FALSE(g->downloadFinishedByFileLength());
  global_->put(PREF_ALLOW_OVERWRITE, "false");
  EXPECT_TRUE(g->downloadFinishedByFileLength());
}

TEST_F(RequestGroupStorageTest, ContinueResumesAShorterFileAndRenamesAwayFromALongerOne) {
  global_->put(PREF_CONTINUE, "true");
  writeFile(dir_.file("short"), std::string(2500, 's'));
  auto g = group("short");
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("short"), pathOf(g));
  g->initPieceStorage();
  g->loadAndOpenFile(controlFile(g));
  EXPECT_EQ(2048, g->getCompletedLength()) << "the pieces the existing bytes cover";
  EXPECT_EQ(std::string(2500, 's'), readFile(dir_.file("short")));
  g->closeFile();

  writeFile(dir_.file("long"), std::string(LENGTH + 1, 'l'));
  auto longer = group("long");
  longer->adjustFilename(controlFile(longer));
  EXPECT_EQ(dir_.file("long.1"), pathOf(longer));
}

TEST_F(RequestGroupStorageTest, ControlFileResumesUnderTheSameName) {
  writeControlFileWithTwoPieces("data");
  writeFile(dir_.file("data"), std::string(LENGTH, 'd'));
  auto g = group("data");
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("data"), pathOf(g));
  g->initPieceStorage();
  auto control = controlFile(g);
  g->loadAndOpenFile(control);
  EXPECT_EQ(2048, g->getCompletedLength());
  EXPECT_EQ(control, g->getProgressInfoFile());
  EXPECT_EQ(std::string(LENGTH, 'd'), readFile(dir_.file("data")));
  g->closeFile();
}

TEST_F(RequestGroupStorageTest, DefunctControlFileIsRemovedAndTheDownloadStartsOver) {
  writeControlFileWithTwoPieces("gone");
  auto g = group("gone");
  g->initPieceStorage();
  g->loadAndOpenFile(controlFile(g));
  EXPECT_FALSE(fs::exists(dir_.file("gone.quarn")));
  EXPECT_EQ(0, g->getCompletedLength());
  EXPECT_TRUE(fs::exists(dir_.file("gone")));
  g->closeFile();
}

TEST_F(RequestGroupStorageTest, RemoveControlFileOptionDropsItBeforeTheChecks) {
  global_->put(PREF_REMOVE_CONTROL_FILE, "true");
  writeControlFileWithTwoPieces("data");
  writeFile(dir_.file("data"), std::string(LENGTH, 'd'));

  global_->put(PREF_DRY_RUN, "true");
  auto dry = group("data");
  dry->adjustFilename(controlFile(dry));
  EXPECT_TRUE(fs::exists(dir_.file("data.quarn"))) << "a dry run removes nothing";
  EXPECT_EQ(dir_.file("data"), pathOf(dry));

  global_->put(PREF_DRY_RUN, "false");
  auto g = group("data");
  g->adjustFilename(controlFile(g));
  EXPECT_FALSE(fs::exists(dir_.file("data.quarn")));
  EXPECT_EQ(dir_.file("data.1"), pathOf(g)) << "the file is now one without control file";
}

TEST_F(RequestGroupStorageTest, FileOfAnotherActiveDownloadIsRenamedAway) {
  RequestGroupMan man({}, 5, global_.get());
  auto first = group("shared");
  auto second = group("shared");
  man.addRequestGroup(first);
  second->setRequestGroupMan(&man);
  second->adjustFilename(controlFile(second));
  EXPECT_EQ(dir_.file("shared.1"), pathOf(second));
  EXPECT_FALSE(fs::exists(dir_.file("shared")));
}

TEST_F(RequestGroupStorageTest, FailureWhileOpeningIsDownloadAbortedWithTheCausesCode) {
  fs::create_directories(dir_.file("blocked"));
  auto g = group("blocked/sub");
  fs::remove(dir_.file("blocked"));
  writeFile(dir_.file("blocked"), "a file where a directory should be");
  g->initPieceStorage();
  auto before = g->getProgressInfoFile();
  try {
    g->loadAndOpenFile(controlFile(g));
    FAIL() << "opening under a regular file succeeded";
  } catch (DownloadFailureException& e) {
    EXPECT_STREQ("Download aborted.", e.what());
    ASSERT_TRUE(e.getCause());
    EXPECT_EQ(e.getCause()->getErrorCode(), e.getErrorCode());
    EXPECT_NE(error_code::FINISHED, e.getErrorCode());
  }
  EXPECT_EQ(before, g->getProgressInfoFile());
}

TEST_F(RequestGroupStorageTest, InMemoryDownloadSkipsEveryLocalCheck) {
  writeFile(dir_.file("mem"), "existing");
  auto g = group("mem");
  g->setLocalFileCheckEnabled(false);
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("mem"), pathOf(g));
  EXPECT_FALSE(g->downloadFinishedByFileLength());
}

TEST_F(RequestGroupStorageTest, CheckIntegrityReadiness) {
  writeFile(dir_.file("f"), std::string(LENGTH, 'f'));
  auto g = group("f");
  auto ctx = g->getDownloadContext();
  EXPECT_FALSE(g->isCheckIntegrityReady());
  global_->put(PREF_CHECK_INTEGRITY, "true");
  EXPECT_FALSE(g->isCheckIntegrityReady());
  ctx->setDigest("sha-1", std::string(20, 'x'));
  EXPECT_TRUE(g->isCheckIntegrityReady()) << "whole-file checksum and a complete-looking file";
  fs::resize_file(dir_.file("f"), 10);
  EXPECT_FALSE(g->isCheckIntegrityReady());
  std::vector<std::string> hashes(4, std::string(20, 'h'));
  ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  EXPECT_TRUE(g->isCheckIntegrityReady());
  // With the check possible, an existing file is left to it.
  g->adjustFilename(controlFile(g));
  EXPECT_EQ(dir_.file("f"), pathOf(g));
}

TEST_F(RequestGroupStorageTest, FileAllocationIsNeededForAnUnallocatedFileAboveTheLimit) {
  auto g = group("alloc");
  g->initPieceStorage();
  g->loadAndOpenFile(controlFile(g));
  EXPECT_TRUE(g->needsFileAllocation());
  global_->put(PREF_NO_FILE_ALLOCATION_LIMIT, std::to_string(LENGTH + 1));
  EXPECT_FALSE(g->needsFileAllocation());
  global_->put(PREF_NO_FILE_ALLOCATION_LIMIT, "0");
  g->setFileAllocationEnabled(false);
  EXPECT_FALSE(g->needsFileAllocation());
  g->closeFile();
}

}  // namespace
}  // namespace quarn

#include "engine/RequestGroup.h"

#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadResult.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/wallclock.h"
#include "storage/BtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

class RecordingProgressInfoFile : public BtProgressInfoFile {
 public:
  std::string getFilename() override { return "/d/f.quarn"; }
  bool exists() override { return true; }
  void save() override { ++saves; }
  void load() override {}
  void removeFile() override { ++removals; }
  void updateFilename() override {}
  int saves = 0;
  int removals = 0;
};

class RequestGroupTest : public ::testing::Test {
 protected:
  std::shared_ptr<Option> global_ = test::makeGlobalOption();
};

}  // namespace

TEST_F(RequestGroupTest, ConstructionReadsOptions) {
  struct {
    const char* allocation;
    bool enabled;
  } cases[] = {{"none", false}, {"prealloc", true}, {"trunc", true}, {"falloc", true}};
  for (const auto& c : cases) {
    global_->put(PREF_FILE_ALLOCATION, c.allocation);
    global_->put(PREF_MAX_DOWNLOAD_LIMIT, "100");
    auto g = test::makeGroup(global_);
    EXPECT_EQ(c.enabled, g->isFileAllocationEnabled()) << c.allocation;
    EXPECT_EQ(5, g->getMaxConcurrentCommands());
    EXPECT_EQ(60, g->getTimeout());
    EXPECT_EQ(100, g->getMaxDownloadSpeedLimit());
    EXPECT_EQ(error_code::UNDEFINED, g->getLastErrorCode());
    EXPECT_TRUE(g->isSaveControlFileEnabled());
    EXPECT_TRUE(g->isLocalFileCheckEnabled());
    EXPECT_FALSE(g->getLastModifiedTime().good());
    EXPECT_EQ(g.get(), g->getDownloadContext()->getOwnerRequestGroup());
  }
}

TEST_F(RequestGroupTest, DownloadResultRules) {
  struct Case {
    bool finished;
    int haltReason;
    error_code::Value lastError;
    error_code::Value expected;
  } cases[] = {
      {true, RequestGroup::USER_REQUEST, error_code::TIME_OUT, error_code::FINISHED},
      {false, RequestGroup::USER_REQUEST, error_code::TIME_OUT, error_code::REMOVED},
      {false, RequestGroup::SHUTDOWN_SIGNAL, error_code::TIME_OUT, error_code::TIME_OUT},
      {false, RequestGroup::SHUTDOWN_SIGNAL, error_code::UNDEFINED, error_code::IN_PROGRESS},
      {false, RequestGroup::NONE, error_code::UNDEFINED, error_code::UNKNOWN_ERROR},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    auto g = test::makeGroup(global_, dir.file("f"), {}, 2048);
    if (c.finished) {
      auto ps =
          std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
      ps->markAllPiecesDone();
      g->setPieceStorage(ps);
    }
    if (c.haltReason != RequestGroup::NONE) {
      g->setHaltRequested(true, static_cast<RequestGroup::HaltReason>(c.haltReason));
    }
    if (c.lastError != error_code::UNDEFINED) {
      g->setLastErrorCode(c.lastError, "boom");
    }
    EXPECT_EQ(c.expected, g->downloadResult().first);
  }
}

TEST_F(RequestGroupTest, PendingChecksumKeepsAFinishedDownloadUnfinished) {
  test::TempDir dir;
  auto g = test::makeGroup(global_, dir.file("f"), {}, 2048);
  auto ps = std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
  ps->markAllPiecesDone();
  g->setPieceStorage(ps);
  g->getDownloadContext()->setDigest("sha-1", "01234567890123456789");
  EXPECT_EQ(error_code::UNKNOWN_ERROR, g->downloadResult().first);
  g->getDownloadContext()->setChecksumVerified(true);
  EXPECT_EQ(error_code::FINISHED, g->downloadResult().first);
}

TEST_F(RequestGroupTest, PauseIsClearedByHalt) {
  auto g = test::makeGroup(global_);
  g->setPauseRequested(true);
  g->setHaltRequested(true, RequestGroup::NONE);
  EXPECT_FALSE(g->isPauseRequested());
  g->setPauseRequested(true);
  EXPECT_TRUE(g->isPauseRequested());
  g->setForceHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
  EXPECT_TRUE(g->isForceHaltRequested());
  EXPECT_EQ(RequestGroup::SHUTDOWN_SIGNAL, g->getHaltReason());
  g->setForceHaltRequested(false);
  EXPECT_FALSE(g->isHaltRequested());
  EXPECT_FALSE(g->isForceHaltRequested());
  EXPECT_EQ(RequestGroup::SHUTDOWN_SIGNAL, g->getHaltReason());
}

TEST_F(RequestGroupTest, FileNotFoundCount) {
  global_->put(PREF_MAX_FILE_NOT_FOUND, "3");
  auto g = test::makeGroup(global_);
  g->increaseAndValidateFileNotFoundCount();
  g->increaseAndValidateFileNotFoundCount();
  try {
    g->increaseAndValidateFileNotFoundCount();
    FAIL();
  } catch (DownloadFailureException& e) {
    EXPECT_EQ(error_code::MAX_FILE_NOT_FOUND, e.getErrorCode());
    EXPECT_STREQ("Reached max-file-not-found count=3", e.what());
  }
  auto downloading = test::makeGroup(global_);
  downloading->getDownloadContext()->getNetStat().updateDownload(1);
  for (int i = 0; i < 5; ++i) {
    downloading->increaseAndValidateFileNotFoundCount();
  }
  global_->put(PREF_MAX_FILE_NOT_FOUND, "0");
  auto unlimited = test::makeGroup(global_);
  for (int i = 0; i < 5; ++i) {
    unlimited->increaseAndValidateFileNotFoundCount();
  }
}

TEST_F(RequestGroupTest, Validation) {
  auto g = test::makeGroup(global_, "/d/name.bin");
  g->validateFilename("name.bin");
  g->validateFilename("", "other");
  try {
    g->validateFilename("other.bin");
    FAIL();
  } catch (DlAbortEx& e) {
    EXPECT_STREQ(
        "The requested filename and the previously registered one are not same. "
        "Expected:name.bin Actual:other.bin",
        e.what());
  }
  g->validateTotalLength(0, 10);
  g->validateTotalLength(10, 10);
  EXPECT_THROW(g->validateTotalLength(10, 11), DlAbortEx);
}

TEST_F(RequestGroupTest, FirstFilePathOfInMemoryDownload) {
  auto g = test::makeGroup(global_, "/tmp/a.torrent");
  EXPECT_EQ("/tmp/a.torrent", g->getFirstFilePath());
  g->markInMemoryDownload();
  EXPECT_EQ("[MEMORY]a.torrent", g->getFirstFilePath());
}

TEST_F(RequestGroupTest, LastCommandAsksForQueueCheck) {
  RequestGroupMan rgman({}, 1, global_.get());
  auto g = test::makeGroup(global_);
  g->setRequestGroupMan(&rgman);
  rgman.clearQueueCheck();
  g->increaseNumCommand();
  g->increaseNumCommand();
  g->decreaseNumCommand();
  EXPECT_FALSE(rgman.queueCheckRequested());
  g->decreaseNumCommand();
  EXPECT_TRUE(rgman.queueCheckRequested());
}

TEST_F(RequestGroupTest, LastModifiedTimeOnlyMovesForward) {
  auto g = test::makeGroup(global_);
  g->updateLastModifiedTime(Time::null());
  EXPECT_FALSE(g->getLastModifiedTime().good());
  g->updateLastModifiedTime(Time(1000));
  EXPECT_EQ(1000, g->getLastModifiedTime().getTimeFromEpoch());
  g->updateLastModifiedTime(Time(500));
  EXPECT_EQ(1000, g->getLastModifiedTime().getTimeFromEpoch());
}

TEST_F(RequestGroupTest, ResultWithoutPieceStorage) {
  auto g = test::makeGroup(global_, "", {"http://127.0.0.1/x"});
  g->getOption()->put(PREF_DIR, "/dl");
  global::wallclock() = Timer(Timer::now());
  g->getDownloadContext()->resetDownloadStartTime();
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::microseconds(1999900));
  g->getDownloadContext()->resetDownloadStopTime();
  g->setMetadataInfo(std::make_shared<MetadataInfo>());
  auto dr = g->createDownloadResult();
  EXPECT_EQ(g->getGroupId(), dr->gid);
  EXPECT_EQ(0, dr->totalLength);
  EXPECT_EQ(0, dr->completedLength);
  EXPECT_TRUE(dr->bitfield.empty());
  EXPECT_EQ(1999, dr->sessionTime);
  EXPECT_EQ(error_code::UNKNOWN_ERROR, dr->result);
  ASSERT_EQ(1u, dr->fileEntries.size());
  EXPECT_EQ(g->getDownloadContext()->getFirstFileEntry(), dr->fileEntries[0]);
  EXPECT_EQ("/dl", dr->dir);
  EXPECT_EQ(g->getOption(), dr->option);
  EXPECT_TRUE(dr->metadataInfo->dataOnly());
  EXPECT_TRUE(dr->metadataInfo->getUri().empty());
}

TEST_F(RequestGroupTest, ResultWithPieceStorage) {
  test::TempDir dir;
  auto g = test::makeGroup(global_, dir.file("f"), {}, 3000);
  auto ps = std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
  ps->markPiecesDone(2048);
  g->setPieceStorage(ps);
  auto dr = g->createDownloadResult();
  EXPECT_EQ(3000, dr->totalLength);
  EXPECT_EQ(2048, dr->completedLength);
  EXPECT_EQ(std::string("\xc0", 1), dr->bitfield);
  EXPECT_EQ(3u, dr->numPieces);
  EXPECT_EQ(1024, dr->pieceLength);
  g->dropPieceStorage();
  EXPECT_EQ(nullptr, g->getPieceStorage());
  EXPECT_EQ(0, g->getTotalLength());
  EXPECT_FALSE(g->downloadFinished());
}

TEST_F(RequestGroupTest, ControlFileUntilTheRuntimeIsReleased) {
  auto g = test::makeGroup(global_);
  EXPECT_EQ("", g->getProgressInfoFile()->getFilename());
  auto file = std::make_shared<RecordingProgressInfoFile>();
  g->setProgressInfoFile(file);
  g->saveControlFile();
  g->removeControlFile();
  g->setSaveControlFile(false);
  g->saveControlFile();
  EXPECT_EQ(1, file->saves);
  EXPECT_EQ(1, file->removals);
  g->releaseRuntimeResource(nullptr);
  EXPECT_NE(file, g->getProgressInfoFile());
  EXPECT_EQ("", g->getProgressInfoFile()->getFilename());
}

}  // namespace quarn

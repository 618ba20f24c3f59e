#include "engine/RequestGroupMan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadEventListener.h"
#include "engine/Notifier.h"
#include "engine/RequestGroupEntry.h"
#include "foundation/DlAbortEx.h"
#include "foundation/StringOutputFile.h"
#include "foundation/wallclock.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"

namespace quarn {

namespace {

class RecordingListener : public DownloadEventListener {
 public:
  void onEvent(DownloadEvent event, const RequestGroup* group) override {
    events.emplace_back(event, group->getGID());
  }
  std::vector<std::pair<DownloadEvent, GroupId::gid_t>> events;
};

class RequestGroupManTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.setOption(option_.get());
    auto notifier = std::make_unique<Notifier>();
    notifier->addDownloadEventListener(&listener_);
    Notifier::setInstance(std::move(notifier));
  }
  void TearDown() override { Notifier::setInstance(nullptr); }

  RequestGroupMan* makeMan(std::vector<std::shared_ptr<RequestGroup>> groups, int max) {
    engine_.setRequestGroupMan(
        std::make_unique<RequestGroupMan>(std::move(groups), max, option_.get()));
    return engine_.getRequestGroupMan();
  }

  std::vector<GroupId::gid_t> ids(const RequestGroupList& list) {
    std::vector<GroupId::gid_t> out;
    for (const auto& p : list) {
      out.push_back(p.first);
    }
    return out;
  }

  // Makes a download look finished: every piece present.
  void complete(const std::shared_ptr<RequestGroup>& g) {
    auto ps = std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
    ps->initStorage();
    ps->markAllPiecesDone();
    g->setPieceStorage(ps);
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  RecordingListener listener_;
  test::TempDir dir_;
};

// Keeps a download busy: it counts as one command while it lives.
struct Busy {
  explicit Busy(const std::shared_ptr<RequestGroup>& g) : entry(g.get()) {}
  RequestGroupEntry entry;
};

}  // namespace

TEST_F(RequestGroupManTest, FillStartsUpToTheLimit) {
  auto a = test::makeGroup(option_);
  auto b = test::makeGroup(option_);
  auto c = test::makeGroup(option_);
  auto* rgman = makeMan({a, b, c}, 1);
  EXPECT_TRUE(rgman->queueCheckRequested());
  auto busy = std::make_unique<Busy>(a);
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ((std::vector<GroupId::gid_t>{a->getGID()}), ids(rgman->getRequestGroups()));
  EXPECT_EQ((std::vector<GroupId::gid_t>{b->getGID(), c->getGID()}),
            ids(rgman->getReservedGroups()));
  EXPECT_EQ(RequestGroup::STATE_ACTIVE, a->getState());
  EXPECT_EQ(rgman, a->getRequestGroupMan());
  EXPECT_TRUE(engine_.getNoWait());
  EXPECT_EQ(std::chrono::milliseconds(0), engine_.getRefreshInterval());
  // Still busy: nothing changes.
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ(1u, rgman->countRequestGroup());
  EXPECT_TRUE(rgman->getDownloadResults().empty());
  // Its last command ends: the next fill turns it into a result and starts b.
  rgman->clearQueueCheck();
  busy.reset();
  EXPECT_TRUE(rgman->queueCheckRequested());
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ((std::vector<GroupId::gid_t>{b->getGID()}), ids(rgman->getRequestGroups()));
  ASSERT_NE(nullptr, rgman->findDownloadResult(a->getGID()));
  EXPECT_EQ(error_code::UNKNOWN_ERROR, rgman->findDownloadResult(a->getGID())->result);
  EXPECT_EQ(1u, rgman->getNumActive());
  EXPECT_EQ(1u, rgman->getNumStoppedTotal());
  EXPECT_FALSE(rgman->downloadFinished());
  std::vector<std::pair<DownloadEvent, GroupId::gid_t>> expected{
      {EVENT_ON_DOWNLOAD_START, a->getGID()},
      {EVENT_ON_DOWNLOAD_ERROR, a->getGID()},
      {EVENT_ON_DOWNLOAD_START, b->getGID()}};
  EXPECT_EQ(expected, listener_.events);
}

TEST_F(RequestGroupManTest, PausedAndDependentDownloadsKeepTheirPlace) {
  option_->put(PREF_ENABLE_RPC, "true");
  auto paused = test::makeGroup(option_);
  paused->setPauseRequested(true);
  auto other = test::makeGroup(option_);
  auto* rgman = makeMan({paused, other}, 5);
  Busy busy(other);
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ((std::vector<GroupId::gid_t>{other->getGID()}), ids(rgman->getRequestGroups()));
  EXPECT_EQ((std::vector<GroupId::gid_t>{paused->getGID()}), ids(rgman->getReservedGroups()));
  EXPECT_FALSE(rgman->downloadFinished());
}

TEST_F(RequestGroupManTest, PausedDownloadStartsWithoutControlServer) {
  auto paused = test::makeGroup(option_);
  paused->setPauseRequested(true);
  auto* rgman = makeMan({paused}, 5);
  Busy busy(paused);
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ(1u, rgman->countRequestGroup());
}

TEST_F(RequestGroupManTest, StoppedDownloadOutcomes) {
  // Of unknown size, so that starting it prepares no storage and queues no
  // file allocation; it is made complete by hand below.
  auto finished = test::makeGroup(option_, dir_.file("done"), {});
  auto halted = test::makeGroup(option_);
  auto removed = test::makeGroup(option_);
  auto paused = test::makeGroup(option_);
  auto restarted = test::makeGroup(option_);
  auto* rgman = makeMan({finished, halted, removed, paused, restarted}, 5);
  {
    std::vector<std::unique_ptr<Busy>> busy;
    for (const auto& g : {finished, halted, removed, paused, restarted}) {
      busy.push_back(std::make_unique<Busy>(g));
    }
    rgman->fillRequestGroupFromReserver(&engine_);
    ASSERT_EQ(5u, rgman->countRequestGroup());
    complete(finished);
    halted->setHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
    removed->setHaltRequested(true, RequestGroup::USER_REQUEST);
    paused->setHaltRequested(true);
    paused->setPauseRequested(true);
    restarted->setHaltRequested(true);
    restarted->setPauseRequested(true);
    restarted->setRestartRequested(true);
  }
  listener_.events.clear();
  engine_.setNoWait(false);
  engine_.setRefreshInterval(std::chrono::seconds(1));
  rgman->removeStoppedGroup(&engine_);
  EXPECT_EQ(0u, rgman->countRequestGroup());
  // The commands serving every download (DHT, listeners) must see at once that
  // none is left: the next turn runs them all without sleeping in the poll.
  EXPECT_TRUE(engine_.getNoWait());
  EXPECT_EQ(std::chrono::milliseconds(0), engine_.getRefreshInterval());
  EXPECT_EQ(error_code::FINISHED, rgman->findDownloadResult(finished->getGID())->result);
  EXPECT_EQ(error_code::IN_PROGRESS, rgman->findDownloadResult(halted->getGID())->result);
  EXPECT_EQ(error_code::REMOVED, rgman->findDownloadResult(removed->getGID())->result);
  EXPECT_EQ(nullptr, rgman->findDownloadResult(paused->getGID()));
  // Both paused downloads went back to the front, the later one first.
  EXPECT_EQ((std::vector<GroupId::gid_t>{restarted->getGID(), paused->getGID()}),
            ids(rgman->getReservedGroups()));
  EXPECT_EQ(RequestGroup::STATE_WAITING, paused->getState());
  EXPECT_TRUE(paused->isPauseRequested());
  EXPECT_FALSE(paused->isHaltRequested());
  EXPECT_FALSE(restarted->isPauseRequested());
  EXPECT_FALSE(restarted->isRestartRequested());
  std::vector<std::pair<DownloadEvent, GroupId::gid_t>> expected{
      {EVENT_ON_DOWNLOAD_COMPLETE, finished->getGID()},
      {EVENT_ON_DOWNLOAD_STOP, halted->getGID()},
      {EVENT_ON_DOWNLOAD_STOP, removed->getGID()},
      {EVENT_ON_DOWNLOAD_PAUSE, paused->getGID()}};
  EXPECT_EQ(expected, listener_.events);
  EXPECT_EQ(0u, rgman->getNumActive());
}

TEST_F(RequestGroupManTest, FinishedDownloadStopsOnlyOnceItsDataIsSynced) {
  auto group = test::makeGroup(option_, dir_.file("done"), {}, 10);
  auto* rgman = makeMan({group}, 1);
  {
    Busy busy(group);
    rgman->fillRequestGroupFromReserver(&engine_);
    complete(group);
    auto adaptor = group->getPieceStorage()->getDiskAdaptor();
    adaptor->initAndOpenFile();
    adaptor->writeData(reinterpret_cast<const uint8_t*>("0123456789"), 10, 0);
  }
  const std::string control = dir_.file("done.quarn");
  test::writeFile(control, "claims");
  // The sync goes to a worker: the download and its control file stay.
  rgman->removeStoppedGroup(&engine_);
  EXPECT_EQ(1u, rgman->countRequestGroup());
  EXPECT_TRUE(std::filesystem::exists(control));
  EXPECT_EQ(nullptr, rgman->findDownloadResult(group->getGID()));
  rgman->waitDiskSyncs();
  EXPECT_FALSE(rgman->collectDiskSyncs());
  rgman->removeStoppedGroup(&engine_);
  EXPECT_EQ(0u, rgman->countRequestGroup());
  EXPECT_FALSE(std::filesystem::exists(control));
  EXPECT_EQ(error_code::FINISHED, rgman->findDownloadResult(group->getGID())->result);
  EXPECT_EQ("0123456789", test::readFile(dir_.file("done")));
}

TEST_F(RequestGroupManTest, HaltReachesEveryActiveDownload) {
  auto a = test::makeGroup(option_);
  auto b = test::makeGroup(option_);
  auto* rgman = makeMan({a, b}, 5);
  Busy ba(a);
  Busy bb(b);
  rgman->fillRequestGroupFromReserver(&engine_);
  rgman->halt();
  EXPECT_TRUE(a->isHaltRequested());
  EXPECT_FALSE(a->isForceHaltRequested());
  rgman->forceHalt();
  EXPECT_TRUE(b->isForceHaltRequested());
  EXPECT_EQ(RequestGroup::SHUTDOWN_SIGNAL, b->getHaltReason());
}

namespace {

std::shared_ptr<DownloadResult> result(error_code::Value code, const std::shared_ptr<Option>& op,
                                       GroupId::gid_t belongsTo = 0) {
  auto dr = std::make_shared<DownloadResult>();
  dr->gid = GroupId::create();
  dr->result = code;
  dr->option = op;
  dr->belongsTo = belongsTo;
  return dr;
}

}  // namespace

TEST_F(RequestGroupManTest, DownloadStatCountsTrimmedResults) {
  option_->put(PREF_MAX_DOWNLOAD_RESULT, "2");
  option_->put(PREF_KEEP_UNFINISHED_DOWNLOAD_RESULT, "true");
  auto* rgman = makeMan({}, 5);
  rgman->addDownloadResult(result(error_code::RESOURCE_NOT_FOUND, option_));
  rgman->addDownloadResult(result(error_code::FINISHED, option_));
  rgman->addDownloadResult(result(error_code::IN_PROGRESS, option_));
  DownloadStat st = rgman->getDownloadStat();
  EXPECT_EQ(1, st.errorCount);
  EXPECT_EQ(1, st.inProgressCount);
  EXPECT_EQ(error_code::RESOURCE_NOT_FOUND, st.lastErrorResult);
  EXPECT_EQ(2u, rgman->getDownloadResults().size());
  EXPECT_EQ(1u, rgman->getUnfinishedDownloadResult().size());
  EXPECT_EQ(3u, rgman->getNumStoppedTotal());
  // A later error in the list wins over the trimmed one.
  rgman->addDownloadResult(result(error_code::TIME_OUT, option_));
  st = rgman->getDownloadStat();
  EXPECT_EQ(2, st.errorCount);
  EXPECT_EQ(error_code::TIME_OUT, st.lastErrorResult);
  // Once trimmed, every code but 0 counts as an error: the in-progress and
  // time-out results, then the removed one, which without force-save is not
  // kept for the session.
  rgman->addDownloadResult(result(error_code::REMOVED, option_));
  st = rgman->getDownloadStat();
  EXPECT_EQ(3, st.errorCount);
  EXPECT_EQ(error_code::TIME_OUT, st.lastErrorResult);
  rgman->addDownloadResult(result(error_code::FINISHED, option_));
  rgman->addDownloadResult(result(error_code::FINISHED, option_));
  st = rgman->getDownloadStat();
  EXPECT_EQ(4, st.errorCount);
  EXPECT_EQ(error_code::REMOVED, st.lastErrorResult);
  EXPECT_EQ(3u, rgman->getUnfinishedDownloadResult().size());
}

TEST_F(RequestGroupManTest, OnlyInProgressMeansStatusSeven) {
  auto* rgman = makeMan({}, 5);
  rgman->addDownloadResult(result(error_code::IN_PROGRESS, option_));
  rgman->addDownloadResult(result(error_code::HTTP_PROTOCOL_ERROR, option_, 99));
  DownloadStat st = rgman->getDownloadStat();
  EXPECT_EQ(0, st.errorCount);
  EXPECT_EQ(1, st.inProgressCount);
  EXPECT_EQ(error_code::FINISHED, st.lastErrorResult);
}

TEST_F(RequestGroupManTest, WaitingQueueOperations) {
  auto a = test::makeGroup(option_);
  auto b = test::makeGroup(option_);
  auto c = test::makeGroup(option_);
  auto* rgman = makeMan({a, b}, 5);
  rgman->clearQueueCheck();
  rgman->insertReservedGroup(100, c);
  EXPECT_TRUE(rgman->queueCheckRequested());
  EXPECT_EQ((std::vector<GroupId::gid_t>{a->getGID(), b->getGID(), c->getGID()}),
            ids(rgman->getReservedGroups()));
  EXPECT_EQ(0u, rgman->changeReservedGroupPosition(c->getGID(), -10, OFFSET_MODE_CUR));
  try {
    rgman->changeReservedGroupPosition(0x1234, 0, OFFSET_MODE_SET);
    FAIL();
  } catch (DlAbortEx& e) {
    EXPECT_STREQ("GID#0000000000001234 not found in the waiting queue.", e.what());
  }
  EXPECT_EQ(b, rgman->findGroup(b->getGID()));
  EXPECT_TRUE(rgman->removeReservedGroup(b->getGID()));
  EXPECT_EQ(nullptr, rgman->findGroup(b->getGID()));
}

TEST_F(RequestGroupManTest, SameFileCheck) {
  auto a = test::makeGroup(option_, "/d/x");
  auto b = test::makeGroup(option_, "/d/x");
  auto c = test::makeGroup(option_, "/d/y");
  auto* rgman = makeMan({a, b, c}, 5);
  Busy ba(a);
  Busy bc(c);
  rgman->addRequestGroup(a);
  rgman->addRequestGroup(c);
  EXPECT_TRUE(rgman->isSameFileBeingDownloaded(b.get()));
  EXPECT_FALSE(rgman->isSameFileBeingDownloaded(a.get()));
  b->setLocalFileCheckEnabled(false);
  EXPECT_FALSE(rgman->isSameFileBeingDownloaded(b.get()));
}

TEST_F(RequestGroupManTest, OptimizedLimitWithoutSpeedIsCoefficientA) {
  option_->put(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS, "true");
  option_->put(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA, "5.0");
  option_->put(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB, "25.0");
  std::vector<std::shared_ptr<RequestGroup>> groups;
  std::vector<std::unique_ptr<Busy>> busy;
  for (int i = 0; i < 7; ++i) {
    groups.push_back(test::makeGroup(option_));
    busy.push_back(std::make_unique<Busy>(groups.back()));
  }
  auto* rgman = makeMan(groups, 2);
  rgman->fillRequestGroupFromReserver(&engine_);
  EXPECT_EQ(5u, rgman->countRequestGroup());
}

TEST_F(RequestGroupManTest, ResultTableShortForm) {
  auto* rgman = makeMan({}, 5);
  auto ok = result(error_code::FINISHED, option_);
  ok->sessionTime = 1000;
  ok->sessionDownloadLength = 2048;
  ok->fileEntries.push_back(std::make_shared<FileEntry>("/d/a", 10, 0));
  ok->fileEntries.push_back(std::make_shared<FileEntry>("/d/b", 10, 10));
  auto err = result(error_code::RESOURCE_NOT_FOUND, option_);
  err->fileEntries.push_back(
      std::make_shared<FileEntry>("", 0, 0, std::vector<std::string>{"http://127.0.0.1:1/x"}));
  auto rm = result(error_code::REMOVED, option_);
  rgman->addDownloadResult(ok);
  rgman->addDownloadResult(err);
  rgman->addDownloadResult(rm);
  rgman->addDownloadResult(result(error_code::TIME_OUT, option_, ok->gid->getNumericId()));
  StringOutputFile out;
  rgman->showDownloadResults(out, false);
  std::string expected =
      "\nDownload Results:\ngid   |stat|avg speed  |path/URI\n"
      "======+====+===========+=======================================================\n" +
      ok->gid->toAbbrevHex() + "|OK  |   2.0KiB/s|/d/a (1more)\n" + err->gid->toAbbrevHex() +
      "|ERR |        n/a|http://127.0.0.1:1/x\n" + rm->gid->toAbbrevHex() +
      "|RM  |        n/a|n/a\n"
      "\nStatus Legend:\n(OK):download completed.(ERR):error occurred.(RM):download removed.\n";
  EXPECT_EQ(expected, out.text);
}

TEST_F(RequestGroupManTest, ResultTableFullFormAndColour) {
  option_->put(PREF_ENABLE_COLOR, "true");
  auto* rgman = makeMan({}, 5);
  auto inpr = result(error_code::IN_PROGRESS, option_);
  inpr->pieceLength = 10;
  inpr->totalLength = 30;
  inpr->bitfield = std::string(1, static_cast<char>(0xc0));
  for (int i = 0; i < 3; ++i) {
    inpr->fileEntries.push_back(std::make_shared<FileEntry>("/d/" + std::to_string(i), 10, i * 10));
  }
  rgman->addDownloadResult(inpr);
  StringOutputFile out(true);
  rgman->showDownloadResults(out, true);
  std::string expected =
      "\nDownload Results:\ngid   |stat|avg speed  |  %|path/URI\n"
      "======+====+===========+===+===================================================\n" +
      inpr->gid->toAbbrevHex() +
      "|\033[1;34mINPR\033[0m|        n/a|100|/d/0\n"
      "   |    |           |100|/d/1\n"
      "   |    |           |  0|/d/2\n"
      "\nStatus Legend:\n(INPR):download in-progress.\n";
  EXPECT_EQ(expected, out.text);
}

TEST_F(RequestGroupManTest, HooksGetIdFileCountAndPath) {
  const std::string script = dir_.file("hook.sh");
  const std::string record = dir_.file("record");
  test::writeFile(script, "#!/bin/sh\necho \"$0 $1 $2 $3\" >> " + record + ".tmp && mv " + record +
                              ".tmp " + record + "\n");
  ::chmod(script.c_str(), 0700);
  option_->put(PREF_ON_DOWNLOAD_STOP, script);
  auto g = test::makeGroup(option_, "/d/file.bin", {"http://127.0.0.1/x"});
  auto* rgman = makeMan({g}, 5);
  {
    Busy busy(g);
    rgman->fillRequestGroupFromReserver(&engine_);
    g->setHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
  }
  // The download's first connection command sees the halt and ends.
  engine_.run(true);
  rgman->removeStoppedGroup(&engine_);
  // The hook runs in a child process that is never waited for.
  for (int i = 0; i < 1000 && !std::filesystem::exists(record); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(script + " " + g->getGroupId()->toHex() + " 1 /d/file.bin\n", test::readFile(record));
}

}  // namespace quarn

namespace quarn {

TEST(DownloadContextStatTest, TransfersCountInTheManagersStatisticsToo) {
  auto option = test::makeGlobalOption();
  RequestGroupMan rgman({}, 1, option.get());
  auto g = test::makeGroup(option);
  const auto& dctx = g->getDownloadContext();
  dctx->updateDownload(10);
  EXPECT_EQ(10, dctx->getNetStat().getSessionDownloadLength());
  EXPECT_EQ(0, rgman.getNetStat().getSessionDownloadLength());
  g->setRequestGroupMan(&rgman);
  dctx->updateDownload(100);
  dctx->updateUploadLength(7);
  dctx->updateUploadSpeed(3);
  EXPECT_EQ(110, dctx->getNetStat().getSessionDownloadLength());
  EXPECT_EQ(100, rgman.getNetStat().getSessionDownloadLength());
  EXPECT_EQ(7, rgman.getNetStat().getSessionUploadLength());
  EXPECT_EQ(7, dctx->getNetStat().getSessionUploadLength());
}

TEST(DownloadContextStatTest, SessionTimeRunsFromStartToStop) {
  global::wallclock() = Timer(Timer::now());
  DownloadContext dctx(1024, 0);
  dctx.resetDownloadStartTime();
  EXPECT_TRUE(dctx.getDownloadStopTime().isZero());
  EXPECT_EQ(NetStat::ACTIVE, dctx.getNetStat().getStatus());
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::milliseconds(1500));
  dctx.resetDownloadStopTime();
  EXPECT_EQ(std::chrono::milliseconds(1500), dctx.calculateSessionTime());
  EXPECT_EQ(NetStat::IDLE, dctx.getNetStat().getStatus());
  // Starting again clears the stop time.
  dctx.resetDownloadStartTime();
  EXPECT_TRUE(dctx.getDownloadStopTime().isZero());
}

}  // namespace quarn

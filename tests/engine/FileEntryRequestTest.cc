#include <gtest/gtest.h>

#include "engine/InorderURISelector.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PeerStat.h"
#include "storage/Request.h"
#include "storage/ServerStatMan.h"

namespace quarn {
namespace {

using Uris = std::deque<std::string>;

class FileEntryRequestTest : public ::testing::Test {
 protected:
  FileEntryRequestTest() : savedClock_(global::wallclock()) {}
  ~FileEntryRequestTest() override { global::wallclock() = savedClock_; }

  void advanceClock(std::chrono::seconds by) {
    global::wallclock() = Timer(global::wallclock().getTime() + by);
  }

  std::shared_ptr<Request> take(FileEntry& entry, bool reuse = false,
                                const std::string& referer = "") {
    return entry.getRequest(&selector_, reuse, {}, referer, Request::METHOD_GET);
  }

  // A request whose connection received the given number of bytes just now;
  // its average is measured when it is pooled.
  static std::shared_ptr<Request> measured(const std::string& uri, size_t bytes) {
    auto req = std::make_shared<Request>();
    req->setUri(uri);
    req->initPeerStat();
    req->getPeerStat()->downloadStart();
    req->getPeerStat()->updateDownload(bytes);
    return req;
  }

  Timer savedClock_;
  InorderURISelector selector_;
};

TEST_F(FileEntryRequestTest, HostAtItsConnectionLimitIsDeferred) {
  FileEntry entry("out", 0, 0, {"http://a/0", "http://a/1", "http://b/1"});
  auto first = take(entry);
  ASSERT_TRUE(first);
  EXPECT_EQ("http://a/0", first->getUri());
  auto second = take(entry);
  ASSERT_TRUE(second);
  EXPECT_EQ("http://b/1", second->getUri());
  EXPECT_EQ(Uris{"http://a/1"}, entry.getRemainingUris());
  EXPECT_EQ((Uris{"http://a/0", "http://b/1"}), entry.getSpentUris());
  EXPECT_EQ(2u, entry.countInFlightRequest());
}

TEST_F(FileEntryRequestTest, ReuseBringsBackSpentUrisOfOtherHostsThatDidNotFail) {
  for (bool reuse : {false, true}) {
    SCOPED_TRACE(reuse);
    FileEntry entry("out", 0, 0, {"http://b/ok", "http://c/failed", "http://a/0", "http://a/1"});
    auto b = take(entry);
    auto c = take(entry);
    entry.addURIResult("http://c/failed", error_code::RESOURCE_NOT_FOUND);
    entry.removeRequest(b);
    entry.removeRequest(c);
    auto a0 = take(entry);
    ASSERT_EQ("http://a/0", a0->getUri());
    ASSERT_EQ(Uris{"http://a/1"}, entry.getRemainingUris());

    auto next = take(entry, reuse);
    if (reuse) {
      ASSERT_TRUE(next);
      EXPECT_EQ("http://b/ok", next->getUri());
      EXPECT_EQ(Uris{"http://a/1"}, entry.getRemainingUris());
    } else {
      EXPECT_FALSE(next);
      EXPECT_EQ(Uris{"http://a/1"}, entry.getRemainingUris());
    }
  }
}

TEST_F(FileEntryRequestTest, RefererIsTheUriItselfForStarOtherwiseEncoded) {
  FileEntry entry("out", 0, 0, {"http://a/x%20y", "http://b/f"});
  EXPECT_EQ("http://a/x%20y", take(entry, false, "*")->getReferer());
  EXPECT_EQ("http://ref/a%20b", take(entry, false, "http://ref/a b")->getReferer());
}

TEST_F(FileEntryRequestTest, UnparsableUriIsSkippedAndNotPutBack) {
  FileEntry entry("out", 0, 0, {"no uri at all", "http://a/f"});
  auto req = take(entry);
  ASSERT_TRUE(req);
  EXPECT_EQ("http://a/f", req->getUri());
  EXPECT_TRUE(entry.getRemainingUris().empty());
  EXPECT_EQ(Uris{"http://a/f"}, entry.getSpentUris());
}

TEST_F(FileEntryRequestTest, AwakePooledRequestIsPickedFirst) {
  FileEntry entry("out", 0, 0, {"http://a/f", "http://b/f"});
  auto a = take(entry);
  entry.poolRequest(a);
  EXPECT_EQ(0u, entry.countInFlightRequest());
  EXPECT_EQ(1u, entry.countPooledRequest());
  EXPECT_EQ(a, take(entry));
  EXPECT_EQ(1u, entry.countInFlightRequest());
  EXPECT_EQ(0u, entry.countPooledRequest());
  EXPECT_EQ(Uris{"http://b/f"}, entry.getRemainingUris());
}

TEST_F(FileEntryRequestTest, SleepingPoolYieldsToAFreshUriElseIsPickedAnyway) {
  FileEntry entry("out", 0, 0, {"http://a/f", "http://b/f"});
  auto a = take(entry);
  a->setWakeTime(Timer(global::wallclock().getTime() + std::chrono::seconds(30)));
  entry.poolRequest(a);

  auto b = take(entry);
  ASSERT_TRUE(b);
  EXPECT_EQ("http://b/f", b->getUri());
  EXPECT_EQ(1u, entry.countPooledRequest());

  // Nothing left to select: the sleeping request comes out; the caller waits.
  EXPECT_EQ(a, take(entry));
  EXPECT_EQ(0u, entry.countPooledRequest());
  EXPECT_EQ(2u, entry.countInFlightRequest());
}

TEST_F(FileEntryRequestTest, FreshRequestDuplicatingTheSleepingOneIsUndone) {
  FileEntry entry("out", 0, 0, {"http://a/f", "http://a/f"});
  entry.setMaxConnectionPerServer(2);
  auto a = take(entry);
  a->setWakeTime(Timer(global::wallclock().getTime() + std::chrono::seconds(30)));
  entry.poolRequest(a);
  EXPECT_EQ(a, take(entry));
  EXPECT_EQ(1u, entry.countInFlightRequest());
  EXPECT_EQ(Uris{"http://a/f"}, entry.getRemainingUris());
  EXPECT_EQ(Uris{"http://a/f"}, entry.getSpentUris());
}

TEST_F(FileEntryRequestTest, PoolIsOrderedFastestFirstAndHoldsOneUnmeasuredRequest) {
  FileEntry entry("out", 0, 0);
  auto slow = measured("http://slow/f", 10);
  auto fast = measured("http://fast/f", 1000);
  auto bare1 = std::make_shared<Request>();
  auto bare2 = std::make_shared<Request>();
  bare1->setUri("http://bare/1");
  bare2->setUri("http://bare/2");
  advanceClock(std::chrono::seconds(1));
  entry.storePool(bare1);
  entry.storePool(slow);
  entry.storePool(bare2);
  entry.storePool(fast);
  EXPECT_EQ(1000, fast->getPeerStat()->getAvgDownloadSpeed());
  ASSERT_EQ(3u, entry.countPooledRequest());
  auto it = entry.getRequestPool().begin();
  EXPECT_EQ(fast, *it++);
  EXPECT_EQ(slow, *it++);
  EXPECT_EQ(bare1, *it);
}

TEST_F(FileEntryRequestTest, PoolingARemovedUriDropsTheRequest) {
  FileEntry entry("out", 0, 0, {"http://a/f", "http://b/f"});
  auto a = take(entry);
  auto b = take(entry);
  EXPECT_TRUE(entry.removeUri("http://a/f"));
  EXPECT_TRUE(a->removalRequested());
  entry.poolRequest(a);
  entry.poolRequest(b);
  EXPECT_EQ(0u, entry.countInFlightRequest());
  ASSERT_EQ(1u, entry.countPooledRequest());
  EXPECT_EQ(b, *entry.getRequestPool().begin());
  EXPECT_TRUE(entry.removeUri("http://b/f"));
  EXPECT_EQ(0u, entry.countPooledRequest()) << "a removed URI takes its pooled request along";
  EXPECT_TRUE(b->removalRequested());
}

TEST_F(FileEntryRequestTest, PutBackRequestPutsLiveUrisInFront) {
  FileEntry entry("out", 0, 0, {"http://f/f", "http://rest/f"});
  auto f = take(entry);
  entry.storePool(measured("http://p1/f", 200));
  entry.storePool(measured("http://p2/f", 100));
  entry.putBackRequest();
  EXPECT_EQ((Uris{"http://f/f", "http://p2/f", "http://p1/f", "http://rest/f"}),
            entry.getRemainingUris());
  EXPECT_EQ(2u, entry.countPooledRequest());
  EXPECT_EQ(1u, entry.countInFlightRequest());
}

TEST_F(FileEntryRequestTest, ContextReleaseHandsEveryUriBackAndDropsRequests) {
  DownloadContext context(16384, 0, "out");
  auto& entry = *context.getFirstFileEntry();
  entry.setUris({"http://a/f", "http://b/f"});
  entry.setMaxConnectionPerServer(2);
  auto a = take(entry);
  entry.poolRequest(a);
  take(entry);
  context.releaseRuntimeResource();
  EXPECT_EQ(0u, entry.countInFlightRequest());
  EXPECT_EQ(0u, entry.countPooledRequest());
  EXPECT_EQ(2u, entry.getRemainingUris().size());
  EXPECT_FALSE(entry.emptyRequestUri());
}

TEST_F(FileEntryRequestTest, FasterPooledRequestReplacesASlowConnection) {
  FileEntry entry("out", 0, 0, {"http://base/f"});
  auto base = take(entry);
  base->initPeerStat();
  base->getPeerStat()->downloadStart();
  auto fast = measured("http://fast/f", 100000);
  advanceClock(std::chrono::seconds(1));
  entry.storePool(fast);

  EXPECT_FALSE(entry.findFasterRequest(base)) << "the base connection started just now";
  advanceClock(std::chrono::seconds(9));
  EXPECT_EQ(fast, entry.findFasterRequest(base));
  EXPECT_EQ(2u, entry.countInFlightRequest());
  EXPECT_EQ(0u, entry.countPooledRequest());

  entry.storePool(fast);
  advanceClock(std::chrono::seconds(9));
  EXPECT_FALSE(entry.findFasterRequest(base)) << "one switch per ten seconds";
  advanceClock(std::chrono::seconds(1));
  base->getPeerStat()->updateDownload(1000000);
  EXPECT_FALSE(entry.findFasterRequest(base)) << "the base connection is fast enough";
}

TEST_F(FileEntryRequestTest, UnmeasuredFastestPoolEntryIsNoReplacement) {
  FileEntry entry("out", 0, 0, {"http://base/f", "http://bare/f"});
  auto base = take(entry);
  auto bare = take(entry);
  entry.poolRequest(bare);
  EXPECT_FALSE(entry.findFasterRequest(base));
}

TEST_F(FileEntryRequestTest, ServerStatisticsSwitchNeedsMoreThan20KiBPerSecondWithoutBaseSpeed) {
  auto stats = std::make_shared<ServerStatMan>();
  auto record = [&stats](const std::string& host, int32_t speed) {
    auto stat = std::make_shared<ServerStat>(host, "http");
    stat->setDownloadSpeed(speed);
    stats->add(stat);
  };
  record("edge", 20480);
  record("used", 900000);
  FileEntry entry("out", 0, 0, {"http://base/f", "http://edge/f", "http://used/f"});
  auto base = take(entry);
  UsedHosts used{{1, "used"}};
  EXPECT_FALSE(entry.findFasterRequest(base, used, stats));

  record("above", 20481);
  entry.getRemainingUris().push_back("http://above/f");
  auto faster = entry.findFasterRequest(base, used, stats);
  ASSERT_TRUE(faster);
  EXPECT_EQ("http://above/f", faster->getUri());
  EXPECT_EQ(base->getReferer(), faster->getReferer());
  EXPECT_EQ((Uris{"http://edge/f", "http://used/f"}), entry.getRemainingUris());
  EXPECT_EQ("http://above/f", entry.getSpentUris().back());
  EXPECT_EQ(2u, entry.countInFlightRequest());
}

TEST_F(FileEntryRequestTest, ServerStatisticsSwitchSkipsBusyAndFailedServers) {
  auto stats = std::make_shared<ServerStatMan>();
  auto broken = std::make_shared<ServerStat>("broken", "http");
  broken->setDownloadSpeed(900000);
  broken->setStatus(ServerStat::ERROR);
  stats->add(broken);
  auto busy = std::make_shared<ServerStat>("base", "http");
  busy->setDownloadSpeed(900000);
  stats->add(busy);
  FileEntry entry("out", 0, 0, {"http://base/f", "http://broken/f", "http://base/g"});
  auto base = take(entry);
  EXPECT_FALSE(entry.findFasterRequest(base, {}, stats));
}

}  // namespace
}  // namespace quarn

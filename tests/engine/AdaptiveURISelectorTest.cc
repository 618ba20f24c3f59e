#include "engine/AdaptiveURISelector.h"

#include <gtest/gtest.h>

#include <set>

#include "DownloadTestUtil.h"
#include "storage/FileEntry.h"
#include "storage/ServerStatMan.h"

namespace quarn {
namespace {

using Uris = std::deque<std::string>;

class AdaptiveURISelectorTest : public ::testing::Test {
 protected:
  AdaptiveURISelectorTest() { global_->put(PREF_LOWEST_SPEED_LIMIT, "0"); }

  // A download of `length` bytes in 1 KiB pieces (0: size unknown).
  std::shared_ptr<RequestGroup> makeGroup(const std::vector<std::string>& uris, int64_t length) {
    return test::makeGroup(global_, "out", uris, length);
  }

  std::shared_ptr<ServerStat> record(const std::string& host, int32_t sc, int32_t mc = 0) {
    auto stat = std::make_shared<ServerStat>(host, "http");
    stat->setSingleConnectionAvgSpeed(sc);
    stat->setMultiConnectionAvgSpeed(mc);
    stats_->add(stat);
    return stat;
  }

  std::shared_ptr<Option> global_ = test::makeGlobalOption();
  std::shared_ptr<ServerStatMan> stats_ = std::make_shared<ServerStatMan>();
};

TEST_F(AdaptiveURISelectorTest, UntestedMirrorsComeFirstInTheirOrder) {
  record("known", 5000);
  auto g = makeGroup({"http://known/f", "http://u1/f", "http://u2/f", "http://u3/f", "http://u4/f"},
                     10 * 1024);
  AdaptiveURISelector selector(stats_, g.get());
  auto& entry = *g->getDownloadContext()->getFirstFileEntry();
  EXPECT_EQ("http://u1/f", selector.select(&entry, {}));
  EXPECT_EQ("http://u2/f", selector.select(&entry, {}));
  EXPECT_EQ("http://u3/f", selector.select(&entry, {}));
  EXPECT_EQ("http://u4/f", selector.select(&entry, {}));
  EXPECT_EQ("http://known/f", selector.select(&entry, {}));
  EXPECT_EQ("", selector.select(&entry, {}));
}

TEST_F(AdaptiveURISelectorTest, UnknownSizeUsesOnlyTheBestOnceThreeAreTested) {
  record("a", 100);
  record("b", 9000);
  record("c", 200);
  auto g = makeGroup({}, 0);
  AdaptiveURISelector selector(stats_, g.get());
  auto& entry = *g->getDownloadContext()->getFirstFileEntry();
  for (int i = 0; i < 3; ++i) {
    entry.getRemainingUris() = {"http://a/f", "http://b/f", "http://untested/f", "http://c/f"};
    EXPECT_EQ("http://b/f", selector.select(&entry, {}));
  }
}

TEST_F(AdaptiveURISelectorTest, BestMirrorIsRandomAmongThoseWithinAQuarterOfTheFastest) {
  record("a", 1000);
  record("b", 800);
  record("c", 0, 700);
  auto g = makeGroup({}, 0);
  AdaptiveURISelector selector(stats_, g.get());
  Uris three{"http://a/f", "http://b/f", "http://c/f"};
  EXPECT_EQ(1000, selector.getMaxDownloadSpeed(three));
  EXPECT_EQ((Uris{"http://a/f", "http://b/f"}), selector.getUrisBySpeed(three, 750));
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    seen.insert(selector.getBestMirror(three));
  }
  EXPECT_EQ((std::set<std::string>{"http://a/f", "http://b/f"}), seen);

  Uris two{"http://a/f", "http://c/f"};
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ("http://a/f", selector.getBestMirror(two));
  }
}

TEST_F(AdaptiveURISelectorTest, MaxSpeedUriTakesEitherAverageAndKeepsTheEarlierOnTies) {
  record("a", 10, 500);
  record("b", 500, 0);
  auto g = makeGroup({}, 0);
  AdaptiveURISelector selector(stats_, g.get());
  EXPECT_EQ("http://a/f",
            selector.getMaxDownloadSpeedUri({"http://x/f", "http://a/f", "http://b/f"}));
  EXPECT_EQ("", selector.getMaxDownloadSpeedUri({"http://x/f", "not a uri"}));
  EXPECT_EQ(0, selector.getMaxDownloadSpeed({"http://x/f"}));
}

TEST_F(AdaptiveURISelectorTest, StaleMirrorIsDueAfterTwoToTheCounterDays) {
  auto now = Time().getTimeFromEpoch();
  auto once = record("once", 100);
  once->setCounter(1);
  once->setLastUpdated(Time(now - 3 * 86400));
  auto twice = record("twice", 100);
  twice->setCounter(2);
  twice->setLastUpdated(Time(now - 3 * 86400));
  auto often = record("often", 100);
  often->setCounter(9);
  often->setLastUpdated(Time(0));
  auto g = makeGroup({}, 0);
  AdaptiveURISelector selector(stats_, g.get());
  EXPECT_EQ("", selector.getFirstToTestUri({"http://twice/f", "http://often/f"}));
  EXPECT_EQ("http://once/f",
            selector.getFirstToTestUri({"http://twice/f", "http://often/f", "http://once/f"}));
}

TEST_F(AdaptiveURISelectorTest, LowestSpeedLimitIsLoweredNearTheBestKnownSpeed) {
  global_->put(PREF_LOWEST_SPEED_LIMIT, "10000");
  record("fast", 20000);
  auto g = makeGroup({}, 0);
  AdaptiveURISelector selector(stats_, g.get());
  EXPECT_EQ(5000, selector.adjustedLowestSpeedLimit({"http://fast/f"}));
  EXPECT_EQ(4096, selector.adjustedLowestSpeedLimit({"http://unknown/f"}));
  global_->put(PREF_LOWEST_SPEED_LIMIT, "4000");
  EXPECT_EQ(-1, selector.adjustedLowestSpeedLimit({"http://fast/f"}));
  EXPECT_EQ(-1, selector.adjustedLowestSpeedLimit({"http://unknown/f"}));
  global_->put(PREF_LOWEST_SPEED_LIMIT, "0");
  EXPECT_EQ(-1, selector.adjustedLowestSpeedLimit({"http://unknown/f"}));
}

TEST_F(AdaptiveURISelectorTest, ExhaustedUrisRetryTimedOutMirrorsWithADoubledTimeout) {
  auto g = makeGroup({}, 0);
  g->setTimeout(20);
  AdaptiveURISelector selector(stats_, g.get());
  auto& entry = *g->getDownloadContext()->getFirstFileEntry();
  entry.addURIResult("http://slow/f", error_code::TIME_OUT);
  entry.addURIResult("http://gone/f", error_code::RESOURCE_NOT_FOUND);
  g->increaseStreamConnection();
  EXPECT_EQ("http://slow/f", selector.select(&entry, {}));
  EXPECT_EQ(40, g->getTimeout());
  ASSERT_EQ(1u, entry.getURIResults().size());
  EXPECT_EQ("http://gone/f", entry.getURIResults().front().uri);

  entry.addURIResult("http://slow/f", error_code::TIME_OUT);
  EXPECT_EQ("", selector.select(&entry, {}));
  EXPECT_EQ(40, g->getTimeout()) << "no further retry at 30 s or more";
}

TEST_F(AdaptiveURISelectorTest, NoRetryWhileOtherConnectionsRun) {
  auto g = makeGroup({}, 0);
  g->setTimeout(5);
  AdaptiveURISelector selector(stats_, g.get());
  auto& entry = *g->getDownloadContext()->getFirstFileEntry();
  entry.addURIResult("http://slow/f", error_code::TIME_OUT);
  g->increaseStreamConnection();
  g->increaseStreamConnection();
  EXPECT_EQ("", selector.select(&entry, {}));
  EXPECT_EQ(5, g->getTimeout());
}

}  // namespace
}  // namespace quarn

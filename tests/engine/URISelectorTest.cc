#include <gtest/gtest.h>

#include "engine/FeedbackURISelector.h"
#include "engine/InorderURISelector.h"
#include "storage/FileEntry.h"
#include "storage/ServerStatMan.h"

namespace quarn {
namespace {

TEST(InorderURISelectorTest, TakesUrisInOrderThenNothing) {
  FileEntry entry("out", 0, 0, {"http://a/1", "http://b/2", "http://c/3"});
  InorderURISelector selector;
  EXPECT_EQ("http://a/1", selector.select(&entry, {}));
  EXPECT_EQ("http://b/2", selector.select(&entry, {}));
  EXPECT_EQ("http://c/3", selector.select(&entry, {}));
  EXPECT_EQ("", selector.select(&entry, {}));
}

class FeedbackURISelectorTest : public ::testing::Test {
 protected:
  void record(const std::string& host, int32_t speed, bool ok = true,
              const std::string& protocol = "http") {
    auto stat = std::make_shared<ServerStat>(host, protocol);
    stat->setDownloadSpeed(speed);
    if (!ok) {
      stat->setStatus(ServerStat::ERROR);
    }
    stats_->add(stat);
  }

  std::shared_ptr<ServerStatMan> stats_ = std::make_shared<ServerStatMan>();
  FeedbackURISelector selector_{stats_};
};

TEST_F(FeedbackURISelectorTest, PrefersTheFastestUnusedServer) {
  record("slow", 100);
  record("fast", 30000);
  record("faster", 60000);
  FileEntry entry("out", 0, 0,
                  {"http://slow/f", "http://fast/f", "http://faster/f", "http://unknown/f"});
  EXPECT_EQ("http://faster/f", selector_.select(&entry, {}));
  EXPECT_EQ("http://fast/f", selector_.select(&entry, {}));
  EXPECT_EQ("http://slow/f", selector_.select(&entry, {})) << "slow and unknown keep their order";
  EXPECT_EQ("http://unknown/f", selector_.select(&entry, {}));
  EXPECT_TRUE(entry.getRemainingUris().empty());
}

TEST_F(FeedbackURISelectorTest, SpeedOfExactly20480IsNotFast) {
  record("edge", 20480);
  record("above", 20481);
  std::deque<std::string> uris{"http://unknown/f", "http://edge/f"};
  EXPECT_EQ("http://unknown/f", selector_.selectFaster(uris, {}));
  uris.push_back("http://above/f");
  EXPECT_EQ("http://above/f", selector_.selectFaster(uris, {}));
}

TEST_F(FeedbackURISelectorTest, SchemeIsPartOfTheServer) {
  record("host", 90000, true, "ftp");
  std::deque<std::string> uris{"http://other/f", "http://host/f"};
  EXPECT_EQ("http://other/f", selector_.selectFaster(uris, {}));
}

TEST_F(FeedbackURISelectorTest, FailedServerOnlyAsLastResort) {
  record("broken", 90000, false);
  FileEntry entry("out", 0, 0, {"http://broken/f", "http://used/f"});
  UsedHosts used{{3, "used"}};
  EXPECT_EQ("http://used/f", selector_.select(&entry, used));
  EXPECT_EQ("http://broken/f", selector_.select(&entry, used));
}

TEST_F(FeedbackURISelectorTest, AllHostsInUsePicksTheLeastUsed) {
  FileEntry entry("out", 0, 0, {"http://busy/f", "http://calm/f", "http://busy/g"});
  UsedHosts used{{1, "calm"}, {4, "busy"}};
  EXPECT_EQ("http://calm/f", selector_.select(&entry, used));
  EXPECT_EQ("http://busy/f", selector_.select(&entry, used));
  EXPECT_EQ((std::deque<std::string>{"http://busy/g"}), entry.getRemainingUris());
}

TEST_F(FeedbackURISelectorTest, OnlyTheFirstTenFastCandidatesCount) {
  std::deque<std::string> uris;
  for (int i = 0; i < 10; ++i) {
    std::string host = "h" + std::to_string(i);
    record(host, 30000 + i);
    uris.push_back("http://" + host + "/f");
  }
  record("late", 999999);
  uris.push_back("http://late/f");
  EXPECT_EQ("http://h9/f", selector_.selectFaster(uris, {}));
}

TEST_F(FeedbackURISelectorTest, UnsplittableUrisAreIgnored) {
  FileEntry entry("out", 0, 0, {"not a uri", "http://ok/f"});
  EXPECT_EQ("http://ok/f", selector_.select(&entry, {}));
  EXPECT_EQ((std::deque<std::string>{"not a uri"}), entry.getRemainingUris());
  EXPECT_EQ("not a uri", selector_.select(&entry, {})) << "the last rule takes the first URI";
}

}  // namespace
}  // namespace quarn

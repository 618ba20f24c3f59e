#include "storage/ServerStat.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarn {
namespace {

struct Sample {
  int32_t speed;
  int32_t expectedAvg;
  int32_t expectedCounter;
};

void feedSingle(ServerStat& stat, const std::vector<Sample>& samples) {
  for (const auto& s : samples) {
    stat.increaseCounter();
    stat.updateSingleConnectionAvgSpeed(s.speed);
    EXPECT_EQ(s.expectedAvg, stat.getSingleConnectionAvgSpeed()) << "sample " << s.speed;
    EXPECT_EQ(s.expectedCounter, stat.getCounter()) << "sample " << s.speed;
  }
}

TEST(ServerStatTest, SingleConnectionAverageWeighsFirstSamplesEquallyThenAFifth) {
  ServerStat stat("example.org", "http");
  feedSingle(
      stat,
      {{100, 100, 1}, {200, 150, 2}, {300, 200, 3}, {400, 250, 4}, {500, 300, 5}, {100, 260, 6}});
}

TEST(ServerStatTest, SharpDropOfSingleConnectionSpeedResetsCounter) {
  ServerStat stat("example.org", "http");
  // 550 is below 0.8 x 1000; the next sample then replaces the average.
  feedSingle(stat, {{1000, 1000, 1}, {100, 550, 0}, {500, 500, 1}});
}

TEST(ServerStatTest, AveragesDoNothingWhileCounterIsZero) {
  ServerStat stat("example.org", "http");
  stat.updateSingleConnectionAvgSpeed(5000);
  stat.updateMultiConnectionAvgSpeed(5000);
  EXPECT_EQ(0, stat.getSingleConnectionAvgSpeed());
  EXPECT_EQ(0, stat.getMultiConnectionAvgSpeed());
}

TEST(ServerStatTest, MultiConnectionAverageNeverResetsCounter) {
  ServerStat stat("example.org", "http");
  stat.increaseCounter();
  stat.updateMultiConnectionAvgSpeed(1000);
  stat.increaseCounter();
  stat.updateMultiConnectionAvgSpeed(100);
  EXPECT_EQ(550, stat.getMultiConnectionAvgSpeed());
  EXPECT_EQ(2, stat.getCounter());
}

TEST(ServerStatTest, StatusWordsAndSpeedUpdates) {
  ServerStat stat("example.org", "http");
  EXPECT_TRUE(stat.isOK());
  stat.setError();
  EXPECT_TRUE(stat.isError());
  stat.updateDownloadSpeed(0);
  EXPECT_TRUE(stat.isError()) << "a zero speed does not clear the failure";
  stat.updateDownloadSpeed(10);
  EXPECT_TRUE(stat.isOK());
  EXPECT_EQ(10, stat.getDownloadSpeed());
  stat.setStatus("ERROR");
  EXPECT_TRUE(stat.isError());
  stat.setStatus("BROKEN");
  EXPECT_TRUE(stat.isError());
  stat.setStatus("OK");
  EXPECT_TRUE(stat.isOK());
}

TEST(ServerStatTest, OrderIsByHostThenProtocolBytewise) {
  EXPECT_TRUE(ServerStat("a", "http") < ServerStat("ab", "ftp"));
  EXPECT_TRUE(ServerStat("a", "ftp") < ServerStat("a", "http"));
  EXPECT_TRUE(ServerStat("z", "http") < ServerStat("\xe9", "http"));
  EXPECT_TRUE(ServerStat("a", "http") == ServerStat("a", "http"));
  EXPECT_FALSE(ServerStat("a", "http") == ServerStat("a", "https"));
}

TEST(ServerStatTest, ToStringWritesTheFileLine) {
  ServerStat stat("localhost", "http");
  stat.setDownloadSpeed(90000);
  stat.setSingleConnectionAvgSpeed(101);
  stat.setMultiConnectionAvgSpeed(102);
  stat.setCounter(6);
  stat.setLastUpdated(Time(1000));
  stat.setError();
  stat.setLastUpdated(Time(4102444800LL));
  EXPECT_EQ(
      "host=localhost, protocol=http, dl_speed=90000, sc_avg_speed=101, mc_avg_speed=102, "
      "last_updated=4102444800, counter=6, status=ERROR",
      stat.toString());
}

}  // namespace
}  // namespace quarn

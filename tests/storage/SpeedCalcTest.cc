#include "storage/SpeedCalc.h"

#include <gtest/gtest.h>

#include "foundation/wallclock.h"
#include "storage/NetStat.h"
#include "storage/PeerStat.h"

namespace quarn {

namespace {

using namespace std::chrono_literals;

// Moves the loop's "now" by hand so that no test sleeps.
class SpeedCalcTest : public ::testing::Test {
 protected:
  void SetUp() override { global::wallclock() = Timer(Timer::now()); }
  void advance(std::chrono::nanoseconds d) {
    global::wallclock() = Timer(global::wallclock().getTime() + d);
  }
};

}  // namespace

TEST_F(SpeedCalcTest, CurrentSpeedOverTheWindow) {
  SpeedCalc calc;
  calc.reset();
  calc.update(1000000);
  advance(500ms);
  EXPECT_EQ(2000000, calc.calculateSpeed());
  EXPECT_EQ(2000000, calc.getMaxSpeed());
  advance(11s);
  EXPECT_EQ(0, calc.calculateSpeed());
  EXPECT_EQ(2000000, calc.getMaxSpeed());
}

TEST_F(SpeedCalcTest, SlotsCollectOneSecond) {
  SpeedCalc calc;
  calc.reset();
  calc.update(100);
  advance(500ms);
  calc.update(100);
  advance(500ms);
  calc.update(100);
  // Two slots: the first holds 200 bytes, the second 100.
  advance(1s);
  EXPECT_EQ(300 * 1000 / 2000, calc.calculateSpeed());
  // 10.5 s after the first slot only the second one is left.
  advance(8500ms);
  EXPECT_EQ(100 * 1000 / 9500, calc.calculateSpeed());
}

TEST_F(SpeedCalcTest, NewestSpeedIgnoresOlderSlots) {
  SpeedCalc calc;
  calc.reset();
  calc.update(6000);
  advance(6s);
  calc.update(1000);
  advance(1s);
  EXPECT_EQ(1000, calc.calculateNewestSpeed(5));
  EXPECT_EQ(7000 * 1000 / 7000, calc.calculateSpeed());
}

TEST_F(SpeedCalcTest, AverageNeedsFiveMilliseconds) {
  SpeedCalc calc;
  calc.reset();
  calc.update(1000);
  advance(4ms);
  EXPECT_EQ(0, calc.calculateAvgSpeed());
  advance(996ms);
  EXPECT_EQ(1000, calc.calculateAvgSpeed());
}

TEST_F(SpeedCalcTest, StoppedConnectionKeepsItsAverage) {
  PeerStat ps(1, "h", "http");
  ps.downloadStart();
  EXPECT_EQ(PeerStat::ACTIVE, ps.getStatus());
  ps.updateDownload(2000);
  advance(2s);
  ps.downloadStop();
  EXPECT_EQ(PeerStat::IDLE, ps.getStatus());
  advance(20s);
  EXPECT_EQ(0, ps.calculateDownloadSpeed());
  EXPECT_EQ(1000, ps.getAvgDownloadSpeed());
  EXPECT_EQ(2000, ps.getSessionDownloadLength());
  ps.addSessionDownloadLength(5);
  EXPECT_EQ(2005, ps.getSessionDownloadLength());
}

TEST_F(SpeedCalcTest, NetStatTotalsAndSnapshot) {
  NetStat st;
  st.downloadStart();
  st.updateDownload(300);
  st.updateUpload(100);
  st.updateUploadLength(50);
  st.updateUploadSpeed(7);
  advance(1s);
  TransferStat ts = st.toTransferStat();
  EXPECT_EQ(300, ts.downloadSpeed);
  EXPECT_EQ(107, ts.uploadSpeed);
  EXPECT_EQ(300, ts.sessionDownloadLength);
  EXPECT_EQ(150, ts.sessionUploadLength);
  EXPECT_EQ(0, ts.allTimeUploadLength);
  st.reset();
  EXPECT_EQ(0, st.getSessionDownloadLength());
}

}  // namespace quarn

#include <gtest/gtest.h>

#include "TempDir.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/BtStopDownloadCommand.h"
#include "bittorrent/SeedCheckCommand.h"
#include "bittorrent/SeedCriteria.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/wallclock.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

constexpr int32_t PIECE_LENGTH = 1024;

class SeedCriteriaTest : public ::testing::Test {
 protected:
  SeedCriteriaTest() : download(dir.file("data"), PIECE_LENGTH, 4 * PIECE_LENGTH) {}
  void complete(size_t pieces) {
    for (size_t i = 0; i < pieces; ++i) {
      auto piece = download.storage->getPiece(i);
      piece->setAllBlock();
      download.storage->completePiece(piece);
    }
  }
  std::unique_ptr<ShareRatioSeedCriteria> ratio(double r) {
    auto c = std::make_unique<ShareRatioSeedCriteria>(r, download.ctx);
    c->setBtRuntime(runtime);
    c->setPieceStorage(download.storage);
    return c;
  }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<BtRuntime> runtime = std::make_shared<BtRuntime>();
};

TEST_F(SeedCriteriaTest, ShareRatioCountsEarlierAndSessionUploadAgainstWhatIsComplete) {
  auto c = ratio(1.0);
  EXPECT_TRUE(c->evaluate());  // nothing complete: met at once
  complete(2);                 // 2048 bytes
  runtime->setUploadLengthAtStartup(1000);
  EXPECT_FALSE(c->evaluate());
  download.ctx->getNetStat().updateUploadLength(1047);
  EXPECT_FALSE(c->evaluate());
  download.ctx->getNetStat().updateUploadLength(1);
  EXPECT_TRUE(c->evaluate());
}

TEST_F(SeedCriteriaTest, UnionIsMetByWhicheverMemberFirst) {
  UnionSeedCriteria none;
  EXPECT_FALSE(none.evaluate());
  complete(1);
  UnionSeedCriteria both;
  both.addSeedCriteria(std::make_unique<TimeSeedCriteria>(60s));
  both.addSeedCriteria(ratio(1.0));
  both.reset();
  EXPECT_FALSE(both.evaluate());
  global::wallclock() = Timer(global::wallclock().getTime() + 60s);
  EXPECT_TRUE(both.evaluate());
}

TEST_F(SeedCriteriaTest, SeedTimeZeroEndsSeedingOnThePassThatSeesCompletion) {
  DownloadEngine engine{std::make_unique<EpollEventPoll>()};
  RequestGroup group(GroupId::create(), download.option);
  auto* command = new SeedCheckCommand(1, &group, &engine, std::make_unique<TimeSeedCriteria>(0s));
  command->setBtRuntime(runtime);
  command->setPieceStorage(download.storage);
  engine.addCommand(std::unique_ptr<Command>(command));
  engine.run(true);
  EXPECT_FALSE(runtime->isHalt());
  complete(4);
  engine.run(true);
  EXPECT_TRUE(runtime->isHalt());
  engine.run(true);  // the command ends
}

TEST_F(SeedCriteriaTest, StopTimeoutHaltsAStalledDownloadButNotAFinishedOne) {
  for (bool finished : {false, true}) {
    SCOPED_TRACE(finished);
    if (finished) {
      complete(4);
    }
    DownloadEngine engine{std::make_unique<EpollEventPoll>()};
    RequestGroup group(GroupId::create(), download.option);
    group.setDownloadContext(download.ctx);
    auto command = std::make_unique<BtStopDownloadCommand>(1, &group, &engine, 0s);
    command->setBtRuntime(runtime);
    command->setPieceStorage(download.storage);
    engine.addCommand(std::move(command));
    engine.run(true);
    EXPECT_EQ(!finished, group.isForceHaltRequested());
  }
}

}  // namespace
}  // namespace quarn

#include "storage/SegmentMan.h"

#include <gtest/gtest.h>

#include "storage/DefaultPieceStorage.h"
#include "storage/DownloadContext.h"
#include "storage/PeerStat.h"
#include "storage/Piece.h"
#include "storage/Segment.h"
#include "storage/UnknownLengthPieceStorage.h"

namespace quarn {

namespace {

const int32_t B = Piece::BLOCK_LENGTH;

class SegmentManTest : public ::testing::Test {
 protected:
  void make(int32_t pieceLength, int64_t total, int files = 1) {
    ctx_ = std::make_shared<DownloadContext>();
    ctx_->setPieceLength(pieceLength);
    std::vector<std::shared_ptr<FileEntry>> entries;
    for (int i = 0; i < files; ++i) {
      entries.push_back(std::make_shared<FileEntry>("/tmp/unused" + std::to_string(i),
                                                    total / files, total / files * i));
    }
    ctx_->setFileEntries(entries.begin(), entries.end());
    ps_ = std::make_shared<DefaultPieceStorage>(ctx_, nullptr);
    sm_ = std::make_shared<SegmentMan>(ctx_, ps_);
  }
  std::shared_ptr<DownloadContext> ctx_;
  std::shared_ptr<DefaultPieceStorage> ps_;
  std::shared_ptr<SegmentMan> sm_;
};

}  // namespace

TEST_F(SegmentManTest, NullPieceGivesNoSegment) {
  make(4 * B, 16 * B);
  EXPECT_FALSE(sm_->checkoutSegment(1, nullptr));
  EXPECT_TRUE(sm_->getSegmentEntries().empty());
}

TEST_F(SegmentManTest, MemoRestoresAPartlyWrittenBlock) {
  make(4 * B, 16 * B);
  auto s = sm_->getSegmentWithIndex(1, 2);
  ASSERT_TRUE(s);
  s->updateWrittenLength(100);
  sm_->cancelSegment(1, s);
  EXPECT_EQ(100, sm_->getSegmentWrittenLengthMemo().at(2));
  auto again = sm_->getSegmentWithIndex(2, 2);
  ASSERT_TRUE(again);
  EXPECT_EQ(100, again->getWrittenLength());
  EXPECT_EQ(1u, sm_->getSegmentWrittenLengthMemo().count(2));
  again->updateWrittenLength(B + 50);  // block 0 complete now
  sm_->cancelSegment(2);
  EXPECT_EQ(B + 150, sm_->getSegmentWrittenLengthMemo().at(2));
  auto third = sm_->getSegmentWithIndex(3, 2);
  EXPECT_EQ(B + 150, third->getWrittenLength());
  // a memo a whole block or more ahead is not applied
  sm_->eraseSegmentWrittenLengthMemo();
  third->updateWrittenLength(B);
  sm_->cancelSegment(3, third);
  ps_->getPiece(2)->clearAllBlock(nullptr);
  auto fourth = sm_->getSegmentWithIndex(4, 2);
  EXPECT_EQ(0, fourth->getWrittenLength());
}

TEST_F(SegmentManTest, IndexLimits) {
  make(4 * B, 20 * B);
  EXPECT_FALSE(sm_->getSegmentWithIndex(1, 5));
  EXPECT_TRUE(sm_->getSegmentWithIndex(1, 4));
  auto ctx = std::make_shared<DownloadContext>(0, 0, "/tmp/unused");
  auto unknown = std::make_shared<UnknownLengthPieceStorage>(ctx);
  SegmentMan sm(ctx, unknown);
  auto grow = sm.getSegmentWithIndex(1, 0);
  ASSERT_TRUE(grow);
  EXPECT_EQ(0, grow->getLength());
}

TEST_F(SegmentManTest, CleanSegmentOfAnIdleOwnerMoves) {
  make(4 * B, 16 * B);
  auto owner = std::make_shared<PeerStat>(1, "h", "http");
  sm_->registerPeerStat(owner);
  auto s0 = sm_->getSegmentWithIndex(1, 0);
  auto s1 = sm_->getSegmentWithIndex(1, 1);
  owner->downloadStart();
  EXPECT_FALSE(sm_->getCleanSegmentIfOwnerIsIdle(2, 0));
  EXPECT_EQ(s0, sm_->getCleanSegmentIfOwnerIsIdle(1, 0));
  owner->downloadStop();
  auto taken = sm_->getCleanSegmentIfOwnerIsIdle(2, 0);
  ASSERT_TRUE(taken);
  EXPECT_EQ(0u, taken->getIndex());
  std::vector<std::shared_ptr<Segment>> v;
  sm_->getInFlightSegment(v, 1);
  EXPECT_TRUE(v.empty());  // every segment of the idle owner went back
  auto s2 = sm_->getSegmentWithIndex(3, 2);
  s2->updateWrittenLength(1);
  EXPECT_FALSE(sm_->getCleanSegmentIfOwnerIsIdle(2, 2));
}

TEST_F(SegmentManTest, CompleteRemovesWhoeverHoldsIt) {
  make(4 * B, 16 * B);
  auto s = sm_->getSegmentWithIndex(1, 0);
  s->updateWrittenLength(4 * B);
  EXPECT_TRUE(sm_->completeSegment(2, s));
  EXPECT_TRUE(sm_->getSegmentEntries().empty());
  EXPECT_TRUE(ps_->hasPiece(0));
  EXPECT_FALSE(sm_->completeSegment(2, s));
  EXPECT_EQ(1u, ps_->getHaves().size() - 1);
}

TEST_F(SegmentManTest, SegmentsWithinAFile) {
  // two files of 6 blocks with 4-block pieces: piece 1 straddles the boundary
  make(4 * B, 12 * B, 2);
  auto file2 = ctx_->getFileEntries()[1];
  std::vector<std::shared_ptr<Segment>> segments;
  sm_->getSegment(segments, 1, 0, file2, 5);
  ASSERT_EQ(1u, segments.size());
  EXPECT_EQ(2u, segments[0]->getIndex());
  // piece 1 (write position in file 1) was taken and given back, memorized
  EXPECT_FALSE(ps_->isPieceUsed(1));
  EXPECT_EQ(1u, sm_->getSegmentWrittenLengthMemo().count(1));
}

TEST_F(SegmentManTest, FastestPeerStatPerHostAndProtocol) {
  make(4 * B, 16 * B);
  auto slow = std::make_shared<PeerStat>(1, "h", "http");
  slow->setAvgDownloadSpeed(10);
  slow->updateDownload(100);
  auto fast = std::make_shared<PeerStat>(2, "h", "http");
  fast->setAvgDownloadSpeed(20);
  fast->updateDownload(50);
  auto tls = std::make_shared<PeerStat>(3, "h", "https");
  sm_->updateFastestPeerStat(slow);
  sm_->updateFastestPeerStat(fast);
  sm_->updateFastestPeerStat(tls);
  ASSERT_EQ(2u, sm_->getFastestPeerStats().size());
  EXPECT_EQ(fast, sm_->getFastestPeerStats()[0]);
  EXPECT_EQ(150, fast->getSessionDownloadLength());
  auto slower = std::make_shared<PeerStat>(4, "h", "http");
  slower->updateDownload(5);
  sm_->updateFastestPeerStat(slower);
  EXPECT_EQ(155, fast->getSessionDownloadLength());
}

TEST_F(SegmentManTest, IgnoredFiles) {
  make(4 * B, 12 * B, 2);
  auto files = ctx_->getFileEntries();
  sm_->ignoreSegmentFor(files[0]);
  EXPECT_FALSE(sm_->allSegmentsIgnored());
  auto s = sm_->getSegment(1, 0);
  ASSERT_TRUE(s);
  EXPECT_EQ(2u, s->getIndex());
  sm_->ignoreSegmentFor(files[1]);
  EXPECT_TRUE(sm_->allSegmentsIgnored());
  EXPECT_FALSE(sm_->getSegment(1, 0));
  sm_->recognizeSegmentFor(files[0]);
  EXPECT_FALSE(sm_->allSegmentsIgnored());
  EXPECT_EQ(2u, sm_->countFreePieceFrom(0));
}

}  // namespace quarn

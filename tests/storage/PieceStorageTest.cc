#include "storage/DefaultPieceStorage.h"

#include <gtest/gtest.h>

#include <numeric>

#include "DownloadFixture.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/FatalException.h"
#include "foundation/Timer.h"
#include "storage/BitfieldMan.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/MultiDiskAdaptor.h"
#include "storage/Piece.h"
#include "storage/PieceSelector.h"
#include "storage/PieceStatMan.h"
#include "storage/StreamPieceSelector.h"
#include "storage/UnknownLengthPieceStorage.h"
#include "storage/WrDiskCache.h"

namespace quarn {

namespace {

const int32_t MiB = 1024 * 1024;

std::shared_ptr<DownloadContext> context(int32_t pieceLength, int64_t total, int files = 1) {
  auto ctx = std::make_shared<DownloadContext>();
  ctx->setPieceLength(pieceLength);
  std::vector<std::shared_ptr<FileEntry>> entries;
  for (int i = 0; i < files; ++i) {
    entries.push_back(std::make_shared<FileEntry>("/tmp/unused" + std::to_string(i), total / files,
                                                  total / files * i));
  }
  ctx->setFileEntries(entries.begin(), entries.end());
  return ctx;
}

std::vector<uint8_t> bits(std::initializer_list<int> set, size_t n) {
  std::vector<uint8_t> v((n + 7) / 8, 0);
  for (int i : set) {
    v[i / 8] |= 0x80 >> (i % 8);
  }
  return v;
}

}  // namespace

TEST(DefaultPieceStorageTest, AdaptorKindAndAllocationMethod) {
  struct Case {
    int files;
    const char* allocation;
    bool direct;
    int method;
  } cases[] = {{1, "prealloc", true, 0},
               {1, "falloc", true, 1},
               {2, "trunc", false, 2},
               {3, "none", false, 0}};
  for (const auto& c : cases) {
    Option option;
    option.put(PREF_FILE_ALLOCATION, c.allocation);
    DefaultPieceStorage ps(context(MiB, 4 * MiB, c.files), &option);
    ps.initStorage();
    auto adaptor = ps.getDiskAdaptor();
    EXPECT_EQ(c.direct, std::dynamic_pointer_cast<DirectDiskAdaptor>(adaptor) != nullptr);
    EXPECT_EQ(c.method, adaptor->getFileAllocationMethod());
    if (!c.direct) {
      EXPECT_EQ(MiB, std::static_pointer_cast<MultiDiskAdaptor>(adaptor)->getPieceLength());
    }
  }
}

TEST(DefaultPieceStorageTest, AdvertisedPieces) {
  DefaultPieceStorage ps(context(MiB, 4 * MiB), nullptr);
  Timer t0 = Timer::zero();
  Timer t1(t0.getTime() + std::chrono::seconds(1));
  Timer t2(t0.getTime() + std::chrono::seconds(2));
  ps.advertisePiece(1, 3, t0);
  ps.advertisePiece(2, 1, t1);
  ps.advertisePiece(1, 2, t2);
  std::vector<size_t> v;
  EXPECT_EQ(3u, ps.getAdvertisedPieceIndexes(v, 1, 0));
  EXPECT_EQ((std::vector<size_t>{3, 1, 2}), v);
  v.clear();
  EXPECT_EQ(3u, ps.getAdvertisedPieceIndexes(v, 1, 3));
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(3u, ps.getAdvertisedPieceIndexes(v, 1, 1));
  EXPECT_EQ((std::vector<size_t>{1, 2}), v);
  ps.removeAdvertisedPiece(t1);
  ASSERT_EQ(1u, ps.getHaves().size());
  EXPECT_EQ(3u, ps.getHaves().front().haveIndex);
}

TEST(DefaultPieceStorageTest, CancelKeepsPartlyDonePieces) {
  DefaultPieceStorage ps(context(MiB, 4 * MiB), nullptr);
  auto p = ps.getMissingPiece(size_t{0}, 1);
  ASSERT_TRUE(p);
  EXPECT_TRUE(ps.isPieceUsed(0));
  EXPECT_FALSE(ps.getMissingPiece(size_t{0}, 2));
  p->completeBlock(0);
  ps.cancelPiece(p, 1);
  EXPECT_FALSE(ps.isPieceUsed(0));
  EXPECT_EQ(1u, ps.countInFlightPiece());
  EXPECT_EQ(Piece::BLOCK_LENGTH, ps.getCompletedLength());
  auto q = ps.getMissingPiece(size_t{1}, 1);
  ps.cancelPiece(q, 1);
  EXPECT_EQ(1u, ps.countInFlightPiece());
  EXPECT_EQ(p, ps.getPiece(0));
  EXPECT_FALSE(ps.getPiece(4));
}

TEST(DefaultPieceStorageTest, CompletionAndFinishedDownload) {
  DefaultPieceStorage ps(context(MiB, 2 * MiB + 10), nullptr);
  for (size_t i = 0; i < 3; ++i) {
    auto p = ps.getMissingPiece(i, 1);
    ASSERT_TRUE(p);
    EXPECT_FALSE(ps.downloadFinished());
    ps.completePiece(p);
  }
  EXPECT_TRUE(ps.downloadFinished());
  EXPECT_TRUE(ps.allDownloadFinished());
  EXPECT_EQ(2 * MiB + 10, ps.getCompletedLength());
  EXPECT_EQ(10, ps.getPieceLength(2));
  EXPECT_TRUE(ps.getPiece(2)->pieceComplete());
  // a piece completed again after everything is present only leaves the used set
  auto again = std::make_shared<Piece>(1, MiB);
  ps.addInFlightPiece({again});
  ps.completePiece(again);
  EXPECT_EQ(0u, ps.countInFlightPiece());
}

TEST(DefaultPieceStorageTest, InMemoryDownloadsGetNoWriteCacheEntry) {
  for (bool inMemory : {false, true}) {
    WrDiskCache cache(MiB);
    test::DownloadFixture f("/tmp/unused-in-memory", MiB, 2 * MiB);
    if (inMemory) {
      f.ctx->setInMemoryDownload(true);
    }
    f.storage->setWrDiskCache(&cache);
    auto p = f.storage->getMissingPiece(size_t{0}, 1);
    ASSERT_TRUE(p);
    EXPECT_EQ(!inMemory, p->getWrDiskCacheEntry() != nullptr) << inMemory;
    f.storage->cancelPiece(p, 1);
  }
}

TEST(DefaultPieceStorageTest, MarkPiecesDone) {
  DefaultPieceStorage ps(context(MiB, 4 * MiB), nullptr);
  ps.markPiecesDone(2 * MiB + MiB / 2);
  EXPECT_TRUE(ps.hasPiece(0));
  EXPECT_TRUE(ps.hasPiece(1));
  EXPECT_FALSE(ps.hasPiece(2));
  ASSERT_EQ(1u, ps.countInFlightPiece());
  EXPECT_EQ(32u, ps.getPiece(2)->countCompleteBlock());
  EXPECT_EQ(2 * MiB + MiB / 2, ps.getCompletedLength());
  ps.markPiecesDone(0);
  EXPECT_EQ(0, ps.getCompletedLength());
  EXPECT_EQ(0u, ps.countInFlightPiece());
  ps.markPiecesDone(MiB + 10000);
  EXPECT_EQ(0u, ps.countInFlightPiece());
  ps.markPiecesDone(4 * MiB);
  EXPECT_TRUE(ps.allDownloadFinished());
}

TEST(DefaultPieceStorageTest, FileFilterSelectsRequestedFiles) {
  auto ctx = context(MiB, 4 * MiB, 4);
  ctx->getFileEntries()[1]->setRequested(false);
  ctx->getFileEntries()[2]->setRequested(false);
  DefaultPieceStorage ps(ctx, nullptr);
  ps.setupFileFilter();
  EXPECT_TRUE(ps.isSelectiveDownloadingMode());
  EXPECT_EQ(2 * MiB, ps.getFilteredTotalLength());
  EXPECT_FALSE(ps.getMissingPiece(size_t{1}, 1));
  ps.completePiece(ps.getMissingPiece(size_t{0}, 1));
  auto p3 = ps.getMissingPiece(size_t{3}, 1);
  p3->completeBlock(0);
  EXPECT_EQ(MiB + Piece::BLOCK_LENGTH, ps.getFilteredCompletedLength());
  ps.completePiece(p3);
  EXPECT_TRUE(ps.downloadFinished());
  EXPECT_FALSE(ps.allDownloadFinished());
  ps.clearFileFilter();
  EXPECT_FALSE(ps.downloadFinished());
}

TEST(DefaultPieceStorageTest, PeerChoices) {
  DefaultPieceStorage ps(context(MiB, 8 * MiB), nullptr);
  std::vector<std::shared_ptr<Piece>> pieces;
  auto none = bits({}, 8);
  ps.getMissingPiece(pieces, 1, none.data(), none.size(), 1);
  EXPECT_TRUE(pieces.empty());
  EXPECT_FALSE(ps.hasMissingPiece(none.data(), none.size()));
  auto peer = bits({2, 5, 6}, 8);
  EXPECT_TRUE(ps.hasMissingPiece(peer.data(), peer.size()));
  // 64 blocks per piece: asking for 100 blocks takes two pieces
  ps.getMissingPiece(pieces, 100, peer.data(), peer.size(), 1);
  EXPECT_EQ(2u, pieces.size());
  pieces.clear();
  ps.getMissingPiece(pieces, 100, peer.data(), peer.size(), {2, 5, 6}, 2);
  EXPECT_TRUE(pieces.empty());
  ps.getMissingFastPiece(pieces, 1, peer.data(), peer.size(), {0, 6}, {}, 3);
  ASSERT_LE(pieces.size(), 1u);
  // end game: pieces in use are handed out again, except those a segment holds
  ps.enterEndGame();
  pieces.clear();
  ps.getMissingPiece(pieces, 1000, peer.data(), peer.size(), 4);
  EXPECT_EQ(3u, pieces.size());
  pieces[0]->setUsedBySegment(true);
  size_t held = pieces[0]->getIndex();
  pieces.clear();
  ps.getMissingPiece(pieces, 1000, peer.data(), peer.size(), 5);
  EXPECT_EQ(2u, pieces.size());
  for (const auto& p : pieces) {
    EXPECT_NE(held, p->getIndex());
  }
}

TEST(DefaultPieceStorageTest, StreamSelectorFromOption) {
  Option option;
  option.put(PREF_STREAM_PIECE_SELECTOR, "inorder");
  DefaultPieceStorage ps(context(MiB, 8 * MiB), &option);
  auto p = ps.getMissingPiece(MiB, nullptr, 0, 1);
  ASSERT_TRUE(p);
  EXPECT_EQ(0u, p->getIndex());
  option.put(PREF_STREAM_PIECE_SELECTOR, "geom");
  DefaultPieceStorage geom(context(MiB, 8 * MiB), &option);
  geom.markPiecesDone(3 * MiB);
  geom.onDownloadIncomplete();
  auto g = geom.getMissingPiece(MiB, nullptr, 0, 1);
  ASSERT_TRUE(g);
  EXPECT_EQ(3u, g->getIndex());
  EXPECT_EQ(1u, geom.getNextUsedIndex(0));
  EXPECT_EQ(3u, geom.getNextUsedIndex(2));
  EXPECT_EQ(8u, geom.getNextUsedIndex(3));
}

TEST(PieceSelectorTest, RarestFirstBreaksTiesByTheShuffledOrder) {
  auto stats = std::make_shared<PieceStatMan>(4, true);
  for (auto [index, n] : std::vector<std::pair<size_t, int>>{{0, 3}, {1, 1}, {2, 1}, {3, 5}}) {
    for (int i = 0; i < n; ++i) {
      stats->addPieceStats(index);
    }
  }
  RarestPieceSelector sel(stats);
  auto all = bits({0, 1, 2, 3}, 4);
  size_t index;
  ASSERT_TRUE(sel.select(index, all.data(), 4));
  const auto& order = stats->getOrder();
  size_t first =
      *std::find_if(order.begin(), order.end(), [](size_t p) { return p == 1 || p == 2; });
  EXPECT_EQ(first, index);
  auto none = bits({}, 4);
  EXPECT_FALSE(sel.select(index, none.data(), 4));
}

TEST(PieceSelectorTest, StatisticsNeverGoBelowZero) {
  PieceStatMan stats(10, false);
  auto a = bits({1, 2}, 10);
  auto b = bits({2, 3}, 10);
  stats.subtractPieceStats(a.data(), a.size());
  EXPECT_EQ(0, stats.getCounts()[1]);
  stats.addPieceStats(a.data(), a.size());
  stats.updatePieceStats(a.data(), a.size(), a.data());
  EXPECT_EQ(1, stats.getCounts()[1]);
  stats.updatePieceStats(b.data(), b.size(), a.data());
  EXPECT_EQ((std::vector<int32_t>{0, 0, 1, 1, 0, 0, 0, 0, 0, 0}), stats.getCounts());
}

TEST(PieceSelectorTest, StatisticsIgnoreBitArraysTooShortForThePieces) {
  PieceStatMan stats(10, false);
  std::vector<uint8_t> oneByte{0xff};
  auto full = bits({0, 9}, 10);
  stats.addPieceStats(oneByte.data(), oneByte.size());
  stats.addPieceStats(full.data(), full.size());
  stats.updatePieceStats(oneByte.data(), oneByte.size(), full.data());
  stats.subtractPieceStats(oneByte.data(), oneByte.size());
  EXPECT_EQ((std::vector<int32_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 1}), stats.getCounts());
}

TEST(PieceSelectorTest, LongestSequenceAndPriority) {
  LongestSequencePieceSelector longest;
  size_t index;
  auto v = bits({0, 1, 3, 4, 6, 7, 8}, 10);
  ASSERT_TRUE(longest.select(index, v.data(), 10));
  EXPECT_EQ(8u, index);
  auto w = bits({0, 1, 3, 4}, 5);
  ASSERT_TRUE(longest.select(index, w.data(), 5));
  EXPECT_EQ(1u, index);
  PriorityPieceSelector prio(std::make_shared<LongestSequencePieceSelector>());
  std::vector<size_t> list{7, 3};
  prio.setPriorityPiece(list.begin(), list.end());
  auto x = bits({3, 5}, 10);
  ASSERT_TRUE(prio.select(index, x.data(), 10));
  EXPECT_EQ(3u, index);
  auto y = bits({5, 6}, 10);
  ASSERT_TRUE(prio.select(index, y.data(), 10));
  EXPECT_EQ(6u, index);
}

TEST(PieceSelectorTest, RandomStreamSelectionCoversEveryStart) {
  BitfieldMan bm(MiB, 10 * MiB);
  RandomStreamPieceSelector sel(&bm);
  for (int i = 0; i < 50; ++i) {
    size_t index;
    ASSERT_TRUE(sel.select(index, MiB, nullptr, 0));
    EXPECT_LT(index, 10u);
  }
  bm.setAllBit();
  size_t index;
  EXPECT_FALSE(sel.select(index, MiB, nullptr, 0));
  BitfieldMan empty(MiB, 0);
  RandomStreamPieceSelector none(&empty);
  EXPECT_FALSE(none.select(index, MiB, nullptr, 0));
}

TEST(UnknownLengthPieceStorageTest, OnePieceThatGrows) {
  auto ctx = std::make_shared<DownloadContext>(MiB, 0, "/tmp/unused-unknown");
  UnknownLengthPieceStorage ps(ctx);
  ps.initStorage();
  auto p = ps.getMissingPiece(0, nullptr, 0, 1);
  ASSERT_TRUE(p);
  EXPECT_FALSE(ps.getMissingPiece(0, nullptr, 0, 2));
  EXPECT_FALSE(ps.getMissingPiece(size_t{1}, 2));
  EXPECT_TRUE(ps.isPieceUsed(0));
  ps.cancelPiece(p, 1);
  auto q = ps.getMissingPiece(size_t{0}, 1);
  ASSERT_TRUE(q);
  EXPECT_NE(p, q);
  q->reconfigure(1000);
  q->setAllBlock();
  EXPECT_EQ(1000, ps.getCompletedLength());
  ps.completePiece(q);
  EXPECT_EQ(1000, ps.getTotalLength());
  EXPECT_EQ(1000, ps.getCompletedLength());
  EXPECT_TRUE(ps.hasPiece(0));
  EXPECT_TRUE(ps.downloadFinished());
  EXPECT_FALSE(ps.getMissingPiece(0, nullptr, 0, 1));
  ASSERT_EQ(1u, ps.getBitfieldLength());
  EXPECT_EQ(0x80, ps.getBitfield()[0]);
  std::vector<size_t> v;
  EXPECT_THROW(ps.getAdvertisedPieceIndexes(v, 1, 0), FatalException);
}

TEST(UnknownLengthPieceStorageTest, EmptyDownloads) {
  auto ctx = std::make_shared<DownloadContext>(MiB, 0, "/tmp/unused-unknown");
  UnknownLengthPieceStorage ps(ctx);
  ps.initStorage();
  ps.completePiece(ps.getMissingPiece(0, nullptr, 0, 1));
  EXPECT_TRUE(ps.downloadFinished());
  EXPECT_EQ(0, ps.getTotalLength());
  EXPECT_EQ(nullptr, ps.getBitfield());
  UnknownLengthPieceStorage ps2(ctx);
  ps2.markAllPiecesDone();
  EXPECT_TRUE(ps2.downloadFinished());
  EXPECT_EQ(0u, ps2.getBitfieldLength());
}

}  // namespace quarn

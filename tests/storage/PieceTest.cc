#include "storage/Piece.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/FileEntry.h"
#include "storage/GrowSegment.h"
#include "storage/PiecedSegment.h"
#include "storage/WrDiskCache.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

namespace {

std::string sha1(const std::string& s) {
  auto md = MessageDigest::create("sha-1");
  md->update(s.data(), s.size());
  return md->digest();
}

const uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

TEST(PieceTest, RunningHashAcceptsDataInOrderOnly) {
  Piece p(0, 10);
  std::string d = "0123456789";
  EXPECT_FALSE(p.updateHash(0, bytes(d), 5));  // no hash type
  EXPECT_EQ("", p.getDigest());
  p.setHashType("sha-1");
  EXPECT_TRUE(p.updateHash(0, bytes(d), 5));
  EXPECT_FALSE(p.updateHash(0, bytes(d), 5));
  EXPECT_FALSE(p.updateHash(5, bytes(d), 6));  // past the end
  EXPECT_FALSE(p.isHashCalculated());
  EXPECT_TRUE(p.updateHash(5, bytes(d) + 5, 5));
  EXPECT_TRUE(p.isHashCalculated());
  EXPECT_EQ(sha1(d), p.getDigest());
  EXPECT_EQ("", p.getDigest());
}

TEST(PieceTest, UsersAndBlocks) {
  Piece p(3, 5 * Piece::BLOCK_LENGTH);
  p.addUser(7);
  p.addUser(7);
  EXPECT_TRUE(p.usedBy(7));
  p.removeUser(7);
  EXPECT_FALSE(p.hasUser());
  std::vector<size_t> v;
  EXPECT_EQ(3u, p.getMissingUnusedBlockIndex(v, 3));
  EXPECT_EQ((std::vector<size_t>{0, 1, 2}), v);
  v.clear();
  EXPECT_EQ(2u, p.getMissingUnusedBlockIndex(v, 3));
  EXPECT_EQ((std::vector<size_t>{3, 4}), v);
  size_t i;
  EXPECT_FALSE(p.getMissingUnusedBlockIndex(i));
  p.completeBlock(1);
  EXPECT_FALSE(p.isBlockUsed(1));
  ASSERT_TRUE(p.getFirstMissingBlockIndexWithoutLock(i));
  EXPECT_EQ(0u, i);
  EXPECT_EQ(Piece::BLOCK_LENGTH, p.getCompletedLength());
  EXPECT_EQ("piece: index=3, length=81920", p.toString());
}

TEST(PieceTest, ReconfigureForUnknownLength) {
  Piece p;
  p.reconfigure(100000);
  EXPECT_EQ(1u, p.countBlock());
  p.setAllBlock();
  EXPECT_EQ(100000, p.getCompletedLength());
}

TEST(PieceTest, DigestThroughTheWriteCacheReadsOnlyTheGaps) {
  std::string content(1000, '\0');
  for (size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<char>(i * 7);
  }
  // Piece 1 of length 500 starts at 500. The disk holds junk where the cache
  // holds the real bytes, so a digest that read those ranges would differ.
  std::string disk = content;
  std::memset(disk.data() + 600, 'J', 100);
  std::memset(disk.data() + 800, 'J', 100);
  auto writer = std::make_unique<ByteArrayDiskWriter>();
  writer->setString(disk);
  auto adaptor = std::make_shared<DirectDiskAdaptor>();
  adaptor->setDiskWriter(std::move(writer));
  WrDiskCache cache(1 << 20);
  Piece p(1, 500);
  p.setHashType("sha-1");
  p.initWrCache(&cache, adaptor);
  for (int64_t goff : {600, 800}) {
    auto buf = std::make_unique<uint8_t[]>(100);
    std::memcpy(buf.get(), content.data() + goff, 100);
    p.updateWrCache(&cache, std::move(buf), 0, 100, 100, goff);
  }
  EXPECT_EQ(sha1(content.substr(500, 500)), p.getDigestWithWrCache(500, adaptor));
  p.clearWrCache(&cache);
  p.releaseWrCache(&cache);
  EXPECT_EQ(0u, cache.getSize());
  // without the cache, a short file fails
  Piece q(2, 500);
  q.setHashType("sha-1");
  EXPECT_THROW(q.getDigestWithWrCache(500, adaptor), DlAbortEx);
}

TEST(PieceTest, BlockCachedTwiceKeepsItsFirstCopyAndCountsOnce) {
  // End game asks several peers for one block, so the same offset can arrive
  // twice: the second copy must be dropped, not leaked nor counted.
  std::string disk(1024, '\0');
  auto writer = std::make_unique<ByteArrayDiskWriter>();
  writer->setString(disk);
  auto adaptor = std::make_shared<DirectDiskAdaptor>();
  adaptor->setDiskWriter(std::move(writer));
  adaptor->setTotalLength(1024);
  WrDiskCache cache(1 << 20);
  Piece p(0, 1024);
  p.initWrCache(&cache, adaptor);
  auto block = [](char fill) {
    auto buf = std::make_unique<uint8_t[]>(100);
    std::memset(buf.get(), fill, 100);
    return buf;
  };
  EXPECT_TRUE(p.updateWrCache(&cache, block('a'), 0, 100, 100, 200));
  EXPECT_FALSE(p.updateWrCache(&cache, block('b'), 0, 100, 100, 200));
  EXPECT_EQ(100u, cache.getSize());
  EXPECT_EQ(100, p.getWrDiskCacheEntry()->getSize());
  p.flushWrCache(&cache);
  EXPECT_EQ(0u, cache.getSize());
  p.releaseWrCache(&cache);
}

TEST(SegmentTest, PiecedSegmentStartsAtTheFirstMissingBlock) {
  const int32_t B = Piece::BLOCK_LENGTH;
  auto p = std::make_shared<Piece>(2, 4 * B);
  p->completeBlock(0);
  p->completeBlock(1);
  PiecedSegment s(4 * B, p);
  EXPECT_EQ(2 * B, s.getWrittenLength());
  EXPECT_EQ(8 * B + 2 * B, s.getPositionToWrite());
  auto q = std::make_shared<Piece>(0, 4 * B);
  q->completeBlock(1);
  EXPECT_EQ(0, PiecedSegment(4 * B, q).getWrittenLength());
}

TEST(SegmentTest, BlocksCompleteWhenTheWrittenRangePassesTheirEnd) {
  const int32_t B = Piece::BLOCK_LENGTH;
  // the last piece of a download: shorter than the nominal piece length
  auto p = std::make_shared<Piece>(3, 2 * B + 100);
  PiecedSegment s(4 * B, p);
  EXPECT_EQ(4 * B, s.getSegmentLength());
  EXPECT_EQ(2 * B + 100, s.getLength());
  s.updateWrittenLength(0);
  s.updateWrittenLength(B - 1);
  EXPECT_FALSE(p->hasBlock(0));
  s.updateWrittenLength(1);
  EXPECT_TRUE(p->hasBlock(0));
  s.updateWrittenLength(B + 50);
  EXPECT_TRUE(p->hasBlock(1));
  EXPECT_FALSE(s.complete());
  s.updateWrittenLength(50);
  EXPECT_TRUE(s.complete());
  s.clear(nullptr);
  EXPECT_EQ(0, s.getWrittenLength());
  EXPECT_EQ(0u, p->countCompleteBlock());
}

TEST(SegmentTest, GrowSegmentGrowsItsPiece) {
  auto p = std::make_shared<Piece>();
  GrowSegment s(p);
  s.updateWrittenLength(1234);
  EXPECT_EQ(1234, s.getPositionToWrite());
  EXPECT_EQ(0, s.getPosition());
  EXPECT_EQ(0u, s.getIndex());
  EXPECT_EQ(0, s.getLength());
  EXPECT_FALSE(s.complete());
  EXPECT_EQ(1234, p->getLength());
  EXPECT_EQ(1234, p->getCompletedLength());
  s.clear(nullptr);
  EXPECT_EQ(0, s.getWrittenLength());
}

}  // namespace quarn

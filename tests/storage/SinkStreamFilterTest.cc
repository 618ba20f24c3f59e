#include "storage/SinkStreamFilter.h"

#include <gtest/gtest.h>

#include "foundation/MessageDigest.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"
#include "storage/WrDiskCache.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

TEST(SinkStreamFilterTest, WritesNoMoreThanTheSegmentLacks) {
  auto out = std::make_shared<ByteArrayDiskWriter>();
  auto piece = std::make_shared<Piece>(1, 100);
  auto segment = std::make_shared<PiecedSegment>(100, piece);
  segment->updateWrittenLength(90);
  SinkStreamFilter sink;
  std::string data(100, 'd');
  EXPECT_EQ(10, sink.transform(out, segment, reinterpret_cast<const uint8_t*>(data.data()), 100));
  EXPECT_EQ(10u, sink.getBytesProcessed());
  EXPECT_EQ(200, out->size());
  EXPECT_TRUE(segment->complete());
  EXPECT_EQ(0, sink.transform(out, segment, nullptr, 0));
  EXPECT_EQ(0u, sink.getBytesProcessed());
}

TEST(SinkStreamFilterTest, FillsTheLastCellBeforeMakingANewOne) {
  auto out = std::make_shared<ByteArrayDiskWriter>();
  WrDiskCache cache(1 << 20);
  auto piece = std::make_shared<Piece>(0, 3 * Piece::BLOCK_LENGTH);
  piece->setHashType("sha-1");
  piece->initWrCache(&cache, nullptr);
  auto segment = std::make_shared<PiecedSegment>(3 * Piece::BLOCK_LENGTH, piece);
  SinkStreamFilter sink(&cache, true);
  std::string all;
  for (int i = 0; i < 10; ++i) {
    std::string d(1000, static_cast<char>('a' + i));
    all += d;
    sink.transform(out, segment, reinterpret_cast<const uint8_t*>(d.data()), d.size());
  }
  const auto& cells = piece->getWrDiskCacheEntry()->getDataSet();
  ASSERT_EQ(3u, cells.size());  // 4096-byte cells, filled up before a new one is made
  EXPECT_EQ(4096u, (*cells.begin())->len);
  EXPECT_EQ(10000u, cache.getSize());
  EXPECT_EQ(0, out->size());  // nothing reached the stream yet
  EXPECT_EQ(10000, segment->getWrittenLength());
  auto md = MessageDigest::create("sha-1");
  md->update(all.data(), all.size());
  piece->clearWrCache(&cache);
  piece->releaseWrCache(&cache);
  EXPECT_FALSE(piece->isHashCalculated());
}

TEST(SinkStreamFilterTest, WithoutACacheTheDataGoesToTheStream) {
  // The piece has a cache entry, but this chain was made without the cache:
  // the bytes must still land somewhere, not vanish.
  auto out = std::make_shared<ByteArrayDiskWriter>();
  WrDiskCache cache(1 << 20);
  auto piece = std::make_shared<Piece>(0, 100);
  piece->initWrCache(&cache, nullptr);
  auto segment = std::make_shared<PiecedSegment>(100, piece);
  SinkStreamFilter sink(nullptr, false);
  std::string d(60, 'q');
  EXPECT_EQ(60, sink.transform(out, segment, reinterpret_cast<const uint8_t*>(d.data()), 60));
  EXPECT_EQ(d, out->getString());
  EXPECT_EQ(0u, cache.getSize());
  piece->releaseWrCache(&cache);
}

}  // namespace quarn

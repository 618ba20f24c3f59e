#include "storage/BitfieldMan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "storage/bitfield.h"

namespace quarn {

TEST(BitfieldManTest, EmptyGeometryHasNoBlocks) {
  for (auto bm : {BitfieldMan(16384, 0), BitfieldMan(0, 100)}) {
    EXPECT_EQ(0u, bm.countBlock());
    EXPECT_EQ(0u, bm.getBitfieldLength());
    EXPECT_TRUE(bm.isAllBitSet());
    size_t index;
    EXPECT_FALSE(bm.getFirstMissingUnusedIndex(index));
    EXPECT_FALSE(bm.getSparseMissingUnusedIndex(index, 0, nullptr, 0));
    EXPECT_FALSE(bm.getInorderMissingUnusedIndex(index, 0, nullptr, 0));
    EXPECT_FALSE(bm.getGeomMissingUnusedIndex(index, 0, nullptr, 0, 1.5, 0));
    EXPECT_EQ(0, bm.getCompletedLength());
    EXPECT_EQ(0u, bm.countMissingBlock());
    EXPECT_FALSE(bm.isBitSetOffsetRange(0, 10));
    EXPECT_EQ(0, bm.getOffsetCompletedLength(0, 10));
  }
}

TEST(BitfieldManTest, ShortLastBlock) {
  BitfieldMan bm(30, 100);
  EXPECT_EQ(4u, bm.countBlock());
  EXPECT_EQ(30, bm.getBlockLength(2));
  EXPECT_EQ(10, bm.getBlockLength(3));
  EXPECT_EQ(0, bm.getBlockLength(4));
  EXPECT_EQ(0, bm.getBlockLength(SIZE_MAX));
  EXPECT_EQ(10, bm.getLastBlockLength());
  bm.setBit(3);
  EXPECT_EQ(10, bm.getCompletedLength());
  bm.setBit(0);
  EXPECT_EQ(40, bm.getCompletedLength());
  EXPECT_EQ(2u, bm.countMissingBlock());
  EXPECT_FALSE(bm.setBit(4));
}

TEST(BitfieldManTest, AllBitSetNeedsExactLastByte) {
  BitfieldMan bm(1, 10);  // 2 bytes, last byte mask 0xc0
  uint8_t full[] = {0xff, 0xc0};
  bm.setBitfield(full, 2);
  EXPECT_TRUE(bm.isAllBitSet());
  uint8_t extra[] = {0xff, 0xe0};
  bm.setBitfield(extra, 2);
  EXPECT_FALSE(bm.isAllBitSet());
  uint8_t wrongLength[] = {0, 0, 0};
  bm.setBitfield(wrongLength, 3);
  EXPECT_EQ(0xe0, bm.getBitfield()[1]);
}

TEST(BitfieldManTest, SetBitfieldClearsUseBits) {
  BitfieldMan bm(1, 8);
  bm.setUseBit(3);
  uint8_t bits[] = {0x80};
  bm.setBitfield(bits, 1);
  EXPECT_FALSE(bm.isUseBitSet(3));
  EXPECT_TRUE(bm.isBitSet(0));
}

TEST(BitfieldManTest, OffsetCompletedLength) {
  BitfieldMan bm(10, 45);
  bm.setBit(0);
  bm.setBit(2);
  bm.setBit(4);
  EXPECT_EQ(5, bm.getOffsetCompletedLength(2, 5));
  EXPECT_EQ(0, bm.getOffsetCompletedLength(12, 5));
  // block 0: 5 bytes, block 1 absent, block 2: 10 bytes, block 3 absent, block 4: 3 bytes
  EXPECT_EQ(5 + 10 + 3, bm.getOffsetCompletedLength(5, 38));
  EXPECT_EQ(25, bm.getOffsetCompletedLength(0, 1000));
  EXPECT_EQ(0, bm.getOffsetCompletedLength(45, 10));
  EXPECT_TRUE(bm.isBitSetOffsetRange(20, 10));
  EXPECT_FALSE(bm.isBitSetOffsetRange(20, 11));
  EXPECT_TRUE(bm.isBitSetOffsetRange(40, 100));
}

TEST(BitfieldManTest, FilterLengthsAndNotFilter) {
  BitfieldMan bm(10, 95);   // 10 blocks, last 5 bytes
  bm.addNotFilter(20, 50);  // keeps blocks 0,1 and 7,8,9 filtered
  bm.enableFilter();
  EXPECT_EQ(5u, bm.countFilteredBlock());
  EXPECT_EQ(10 + 10 + 10 + 10 + 5, bm.getFilteredTotalLength());
  EXPECT_TRUE(bm.isFilterBitSet(0));
  EXPECT_FALSE(bm.isFilterBitSet(2));
  EXPECT_FALSE(bm.isFilterBitSet(6));
  EXPECT_TRUE(bm.isFilterBitSet(9));
  bm.setBit(9);
  bm.setBit(3);
  EXPECT_EQ(5, bm.getFilteredCompletedLength());
  EXPECT_EQ(15, bm.getCompletedLength());
  EXPECT_EQ(4u, bm.countMissingBlock());
  for (size_t i : {0, 1, 7, 8}) {
    bm.setBit(i);
  }
  EXPECT_TRUE(bm.isFilteredAllBitSet());
  EXPECT_FALSE(bm.isAllBitSet());
}

TEST(BitfieldManTest, CopyDropsDisabledFilter) {
  BitfieldMan bm(10, 100);
  bm.addFilter(0, 10);
  BitfieldMan copy(bm);
  EXPECT_EQ(nullptr, copy.getFilterBitfield());
  bm.enableFilter();
  BitfieldMan copy2(1, 1);
  copy2 = bm;
  ASSERT_NE(nullptr, copy2.getFilterBitfield());
  EXPECT_TRUE(copy2.isFilterBitSet(0));
  EXPECT_EQ(10, copy2.getFilteredTotalLength());
}

TEST(BitfieldManTest, FirstChoosers) {
  BitfieldMan bm(1, 20);
  bm.setBit(0);
  bm.setUseBit(1);
  size_t index;
  ASSERT_TRUE(bm.getFirstMissingUnusedIndex(index));
  EXPECT_EQ(2u, index);
  ASSERT_TRUE(bm.getFirstMissingIndex(index));
  EXPECT_EQ(1u, index);
  std::vector<size_t> v;
  EXPECT_EQ(3u, bm.getFirstNMissingUnusedIndex(v, 3));
  EXPECT_EQ((std::vector<size_t>{2, 3, 4}), v);
  bm.setAllBit();
  EXPECT_FALSE(bm.getFirstMissingIndex(index));
}

TEST(BitfieldManTest, SparseChooser) {
  size_t index;
  {
    BitfieldMan bm(1024, 1024 * 10);
    ASSERT_TRUE(bm.getSparseMissingUnusedIndex(index, 1024 * 1024, nullptr, 0));
    EXPECT_EQ(0u, index);
  }
  {
    BitfieldMan bm(1024, 1024 * 10);
    bm.setUseBit(0);
    // mid = 1 + 9/2 = 5; 5 blocks remain = 5120 bytes
    ASSERT_TRUE(bm.getSparseMissingUnusedIndex(index, 5120, nullptr, 0));
    EXPECT_EQ(5u, index);
    EXPECT_FALSE(bm.getSparseMissingUnusedIndex(index, 5121, nullptr, 0));
  }
  {
    // run [1,5) after in-use 0 becomes [3,5); run [6,8) after present 5; equal
    // sizes: the one beside a present block wins.
    BitfieldMan bm(1024, 1024 * 9);
    bm.setUseBit(0);
    bm.setBit(5);
    bm.setBit(8);
    ASSERT_TRUE(bm.getSparseMissingUnusedIndex(index, 1024 * 1024, nullptr, 0));
    EXPECT_EQ(6u, index);
  }
  {
    BitfieldMan bm(1024, 1024 * 4);
    uint8_t ignore[] = {0x80};
    ASSERT_TRUE(bm.getSparseMissingUnusedIndex(index, 1024 * 1024, ignore, 1));
    EXPECT_EQ(1u, index);
  }
}

TEST(BitfieldManTest, InorderChooser) {
  size_t index;
  BitfieldMan bm(1024, 1024 * 10);
  bm.setUseBit(0);
  ASSERT_TRUE(bm.getInorderMissingUnusedIndex(index, 1024 * 3, nullptr, 0));
  EXPECT_EQ(3u, index);
  EXPECT_FALSE(bm.getInorderMissingUnusedIndex(index, 1024 * 20, nullptr, 0));
  bm.setBit(5);
  ASSERT_TRUE(bm.getInorderMissingUnusedIndex(index, 1024 * 20, nullptr, 0));
  EXPECT_EQ(6u, index);
  ASSERT_TRUE(bm.getInorderMissingUnusedIndex(index, 7, 10, 1024 * 20, nullptr, 0));
  EXPECT_EQ(7u, index);
}

TEST(BitfieldManTest, GeomChooserWindows) {
  size_t index;
  BitfieldMan bm(1024, 1024 * 40);
  // with offset 10 the windows are [10,11) [11,11) [11,12) [12,13) [13,15) ...
  bm.setBit(10);
  bm.setBit(11);
  bm.setBit(12);
  ASSERT_TRUE(bm.getGeomMissingUnusedIndex(index, 1024, nullptr, 0, 1.5, 10));
  EXPECT_EQ(13u, index);
  bm.setUseBit(13);
  // the in-use block ends window [13,15); the next window [15,18) yields 15
  ASSERT_TRUE(bm.getGeomMissingUnusedIndex(index, 1024, nullptr, 0, 1.5, 10));
  EXPECT_EQ(15u, index);
  BitfieldMan all(1024, 1024 * 4);
  all.setAllUseBit();
  EXPECT_FALSE(all.getGeomMissingUnusedIndex(index, 1024, nullptr, 0, 1.5, 0));
}

TEST(BitfieldManTest, AllMissingWriters) {
  BitfieldMan bm(1, 10);
  bm.setBit(0);
  bm.setUseBit(1);
  uint8_t out[2];
  ASSERT_TRUE(bm.getAllMissingIndexes(out, 2));
  EXPECT_EQ(0x7f, out[0]);
  EXPECT_EQ(0xc0, out[1]);
  uint8_t peer[] = {0xe0, 0x00};
  ASSERT_TRUE(bm.getAllMissingIndexes(out, 2, peer, 2));
  EXPECT_EQ(0x60, out[0]);
  ASSERT_TRUE(bm.getAllMissingUnusedIndexes(out, 2, peer, 2));
  EXPECT_EQ(0x20, out[0]);
  EXPECT_FALSE(bm.getAllMissingUnusedIndexes(out, 2, peer, 1));
  EXPECT_TRUE(bm.hasMissingPiece(peer, 2));
  uint8_t peerHasOnlyMine[] = {0x80, 0x00};
  EXPECT_FALSE(bm.hasMissingPiece(peerHasOnlyMine, 2));
}

TEST(BitfieldManTest, MissingUnusedLength) {
  BitfieldMan bm(10, 95);
  bm.setUseBit(4);
  EXPECT_EQ(40, bm.getMissingUnusedLength(0));
  EXPECT_EQ(45, bm.getMissingUnusedLength(5));
  EXPECT_EQ(0, bm.getMissingUnusedLength(10));
}

TEST(BitfieldTest, CountAndFirstN) {
  uint8_t bits[] = {0xff, 0x0f, 0xf0, 0xff, 0xff, 0xff};
  EXPECT_EQ(8u + 4 + 4 + 8 + 8 + 8, bitfield::countSetBit(bits, 48));
  EXPECT_EQ(8u + 4 + 4 + 8 + 8 + 1, bitfield::countSetBit(bits, 41));
  std::vector<size_t> out;
  EXPECT_EQ(0u, bitfield::getFirstNSetBitIndex(std::back_inserter(out), 0, bits, 48));
  expr::Array a(bits);
  EXPECT_EQ(2u, bitfield::getFirstNSetBitIndex(std::back_inserter(out), 2, ~a, 48));
  EXPECT_EQ((std::vector<size_t>{8, 9}), out);
  bitfield::flipBit(bits, 6, 8);
  EXPECT_EQ(0x8f, bits[1]);
}

}  // namespace quarn

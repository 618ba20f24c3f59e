#include <gtest/gtest.h>

#include <algorithm>

#include "TempDir.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogCapture.h"
#include "foundation/MessageDigest.h"
#include "foundation/util_string.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/HashTypeStronger.h"
#include "storage/IteratableChecksumValidator.h"
#include "storage/IteratableChunkChecksumValidator.h"

namespace quarn {

namespace {

std::string sha1(const std::string& data) {
  auto md = MessageDigest::sha1();
  md->update(data.data(), data.size());
  return md->digest();
}

std::string patterned(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    s[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  }
  return s;
}

// A single-file download over a file in a temporary directory.
struct Download {
  Download(const test::TempDir& dir, int32_t pieceLength, int64_t totalLength)
      : ctx(std::make_shared<DownloadContext>(pieceLength, totalLength, dir.file("out"))),
        storage(std::make_shared<DefaultPieceStorage>(ctx, nullptr)) {
    storage->initStorage();
  }
  void open() { storage->getDiskAdaptor()->openExistingFile(); }
  void setPieceHashesOf(const std::string& data) {
    std::vector<std::string> hashes;
    for (size_t off = 0; off < data.size(); off += ctx->getPieceLength()) {
      hashes.push_back(sha1(data.substr(off, ctx->getPieceLength())));
    }
    ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  }
  std::vector<size_t> presentPieces() {
    std::vector<size_t> v;
    for (size_t i = 0; i < ctx->getNumPieces(); ++i) {
      if (storage->hasPiece(i)) {
        v.push_back(i);
      }
    }
    return v;
  }

  std::shared_ptr<DownloadContext> ctx;
  std::shared_ptr<DefaultPieceStorage> storage;
};

void runToEnd(IteratableValidator& v) {
  v.init();
  while (!v.finished()) {
    v.validateChunk();
  }
}

}  // namespace

TEST(ChecksumTest, DefaultsSwapAndStrengthOrder) {
  Checksum c;
  EXPECT_EQ("sha-1", c.getHashType());
  EXPECT_TRUE(c.isEmpty());
  c.setDigest("\x01\x02");
  EXPECT_FALSE(c.isEmpty());
  Checksum d("md5", "xyz");
  swap(c, d);
  EXPECT_EQ("md5", c.getHashType());
  EXPECT_EQ("xyz", c.getDigest());
  EXPECT_EQ("sha-1", d.getHashType());
  swap(c, c);
  EXPECT_EQ("md5", c.getHashType());

  std::vector<Checksum> list{Checksum("md5", "a"), Checksum("sha-256", "b"),
                             Checksum("sha-1", "c")};
  std::sort(list.begin(), list.end(), HashTypeStronger());
  EXPECT_EQ("sha-256", list[0].getHashType());
  EXPECT_EQ("sha-1", list[1].getHashType());
  EXPECT_EQ("md5", list[2].getHashType());
}

TEST(ChecksumTest, ChunkChecksumLookups) {
  std::vector<std::string> hashes(10, std::string(20, 'h'));
  hashes[3] = "";
  ChunkChecksum cc("sha-1", hashes, 262144);
  EXPECT_EQ(10u, cc.countPieceHash());
  EXPECT_EQ(2621440, cc.getEstimatedDataLength());
  EXPECT_TRUE(cc.validateChunk(std::string(20, 'h'), 0));
  EXPECT_FALSE(cc.validateChunk(std::string(20, 'x'), 0));
  EXPECT_FALSE(cc.validateChunk("", 3));
  EXPECT_FALSE(cc.validateChunk(std::string(20, 'h'), 10));
  EXPECT_EQ("", cc.getPieceHash(10));
}

TEST(ChunkChecksumValidatorTest, FindsExactlyTheCorruptedPieces) {
  test::TempDir dir;
  const int32_t pieceLength = 16 * 1024;
  const int64_t total = 10 * pieceLength - 1000;
  std::string data = patterned(total);
  Download dl(dir, pieceLength, total);
  dl.setPieceHashesOf(data);
  // Piece 1 in its first byte, piece 4 in its last byte, piece 9 (short) in
  // its middle; the rest untouched.
  std::string onDisk = data;
  onDisk[pieceLength] ^= 1;
  onDisk[5 * pieceLength - 1] ^= 0x80;
  onDisk[9 * pieceLength + 100] ^= 0x10;
  test::writeFile(dir.file("out"), onDisk);
  dl.open();
  dl.storage->markAllPiecesDone();
  IteratableChunkChecksumValidator v(dl.ctx, dl.storage);
  v.init();
  EXPECT_EQ(total, v.getTotalLength());
  size_t steps = 0;
  while (!v.finished()) {
    EXPECT_EQ(static_cast<int64_t>(steps) * pieceLength, v.getCurrentOffset());
    v.validateChunk();
    ++steps;
    if (!v.finished()) {
      // The piece storage changes only at the end of the pass.
      EXPECT_TRUE(dl.storage->allDownloadFinished());
    }
  }
  EXPECT_EQ(10u, steps);
  EXPECT_EQ((std::vector<size_t>{0, 2, 3, 5, 6, 7, 8}), dl.presentPieces());
}

TEST(ChunkChecksumValidatorTest, ShortFileReportsMissingPiecesAndGoesOn) {
  test::TempDir dir;
  const int32_t pieceLength = 1024 * 1024;
  const int64_t total = 5 * pieceLength / 2;
  std::string data = patterned(total);
  Download dl(dir, pieceLength, total);
  dl.setPieceHashesOf(data);
  // The file stops inside piece 1; piece 2 (the short last one) is beyond it.
  test::writeFile(dir.file("out"), data.substr(0, pieceLength + 10));
  dl.open();
  test::LogCapture log(dir.file("log"));
  IteratableChunkChecksumValidator v(dl.ctx, dl.storage);
  runToEnd(v);
  EXPECT_EQ((std::vector<size_t>{0}), dl.presentPieces());
  std::string text = log.text();
  EXPECT_NE(std::string::npos, text.find("Caught exception while validating piece index=1. Some "
                                         "part of file may be missing. Continue operation."));
  EXPECT_NE(std::string::npos, text.find("data is too short"));
  EXPECT_NE(std::string::npos, text.find("piece index=2."));
}

TEST(ChunkChecksumValidatorTest, LastPieceIsCheckedOverItsOwnLength) {
  test::TempDir dir;
  const int32_t pieceLength = 1024 * 1024;
  const int64_t total = 5 * pieceLength / 2;
  std::string data = patterned(total);
  Download dl(dir, pieceLength, total);
  dl.setPieceHashesOf(data);
  // Trailing bytes beyond the download do not spoil the last piece.
  test::writeFile(dir.file("out"), data + "garbage");
  dl.open();
  IteratableChunkChecksumValidator v(dl.ctx, dl.storage);
  runToEnd(v);
  EXPECT_EQ((std::vector<size_t>{0, 1, 2}), dl.presentPieces());
}

TEST(ChecksumValidatorTest, MatchMarksEverythingDoneAndVerified) {
  test::TempDir dir;
  std::string data = patterned(10000);
  Download dl(dir, 4096, data.size());
  dl.ctx->setDigest("sha-1", sha1(data));
  test::writeFile(dir.file("out"), data);
  dl.open();
  IteratableChecksumValidator v(dl.ctx, dl.storage);
  v.init();
  std::vector<int64_t> offsets;
  while (!v.finished()) {
    v.validateChunk();
    offsets.push_back(v.getCurrentOffset());
  }
  EXPECT_EQ((std::vector<int64_t>{4096, 8192, 10000}), offsets);
  EXPECT_TRUE(dl.storage->allDownloadFinished());
  EXPECT_TRUE(dl.ctx->isChecksumVerified());
}

TEST(ChecksumValidatorTest, MismatchLeavesEveryPieceMissing) {
  test::TempDir dir;
  std::string data = patterned(10000);
  Download dl(dir, 4096, data.size());
  dl.ctx->setDigest("sha-1", sha1(data));
  data[9999] ^= 1;
  test::writeFile(dir.file("out"), data);
  dl.open();
  dl.storage->markAllPiecesDone();
  test::LogCapture log(dir.file("log"));
  IteratableChecksumValidator v(dl.ctx, dl.storage);
  runToEnd(v);
  EXPECT_TRUE(dl.presentPieces().empty());
  EXPECT_FALSE(dl.ctx->isChecksumVerified());
  EXPECT_NE(std::string::npos, log.text().find("Checksum validation failed. expected=" +
                                               util::toHex(sha1(patterned(10000))) +
                                               ", actual=" + util::toHex(sha1(data))));
}

TEST(ChecksumValidatorTest, FileShorterThanTheDownloadFailsInsteadOfLooping) {
  test::TempDir dir;
  std::string data = patterned(10000);
  Download dl(dir, 4096, data.size());
  dl.ctx->setDigest("sha-1", sha1(data));
  test::writeFile(dir.file("out"), data.substr(0, 5000));
  dl.open();
  IteratableChecksumValidator v(dl.ctx, dl.storage);
  v.init();
  v.validateChunk();
  EXPECT_EQ(4096, v.getCurrentOffset());
  v.validateChunk();
  EXPECT_EQ(5000, v.getCurrentOffset());
  try {
    v.validateChunk();
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Failed to read from the file " + dir.file("out") + ", cause: data is too short",
              std::string(e.what()));
  }
}

TEST(ChecksumValidatorTest, TrailingGarbageIsNotHashed) {
  test::TempDir dir;
  std::string data = patterned(5000);
  Download dl(dir, 4096, data.size());
  dl.ctx->setDigest("sha-1", sha1(data));
  test::writeFile(dir.file("out"), data + "tail");
  dl.open();
  IteratableChecksumValidator v(dl.ctx, dl.storage);
  runToEnd(v);
  EXPECT_TRUE(dl.ctx->isChecksumVerified());
}

}  // namespace quarn

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/File.h"
#include "foundation/LogCapture.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DownloadContext.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/Piece.h"

namespace quarn {

namespace {

constexpr int32_t KiB = 1024;
// Ten pieces of 64 KiB, the last one 5000 bytes short; four blocks per piece.
constexpr int32_t PIECE = 64 * KiB;
constexpr int64_t TOTAL = 10 * PIECE - 5000;

// Control-file bytes, big-endian unless told otherwise.
class Bytes {
 public:
  explicit Bytes(bool hostOrder = false) : hostOrder_(hostOrder) {}
  Bytes& raw(const std::string& s) {
    data_ += s;
    return *this;
  }
  // Every byte of the literal, NULs included.
  template <size_t N>
  Bytes& raw(const char (&s)[N]) {
    data_.append(s, N - 1);
    return *this;
  }
  Bytes& u32(uint32_t x) { return integer(x, 4); }
  Bytes& u64(uint64_t x) { return integer(x, 8); }
  const std::string& str() const { return data_; }

 private:
  Bytes& integer(uint64_t x, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) {
      s += static_cast<char>((x >> (8 * i)) & 0xff);
    }
    if (hostOrder_ && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
      s.assign(s.rbegin(), s.rend());
    }
    data_ += s;
    return *this;
  }
  bool hostOrder_;
  std::string data_;
};

// Head of a record for the test download: version, no info hash, geometry.
Bytes head(uint32_t pieceLength = PIECE, uint32_t bitfieldLength = 2, bool hostOrder = false) {
  Bytes b(hostOrder);
  b.raw(hostOrder ? std::string("\0\0", 2) : std::string("\0\1", 2))
      .u32(0)
      .u32(0)
      .u32(pieceLength)
      .u64(TOTAL)
      .u64(0)
      .u32(bitfieldLength);
  return b;
}

class ControlFileTest : public ::testing::Test {
 protected:
  ControlFileTest() : ctx_(std::make_shared<DownloadContext>(PIECE, TOTAL, dir_.file("out"))) {
    ctx_->setPieceHashes("sha-1", hashes_.begin(), hashes_.end());
    ctx_->setPieceHashType("sha-1");
  }

  std::shared_ptr<DefaultPieceStorage> newStorage() {
    return std::make_shared<DefaultPieceStorage>(ctx_, &option_);
  }
  std::unique_ptr<DefaultBtProgressInfoFile> newFile(
      const std::shared_ptr<DefaultPieceStorage>& storage) {
    return std::make_unique<DefaultBtProgressInfoFile>(ctx_, storage, &option_);
  }
  std::string path() const { return dir_.file("out.quarn"); }

  // Pieces 0, 3 and 9 complete; piece 5 in flight with blocks 0 and 2, piece 6
  // with block 3.
  std::shared_ptr<DefaultPieceStorage> storageWithProgress() {
    auto storage = newStorage();
    std::vector<uint8_t> bits{0x90, 0x40};
    storage->setBitfield(bits.data(), bits.size());
    auto p5 = storage->getMissingPiece(5, 1);
    p5->completeBlock(0);
    p5->completeBlock(2);
    auto p6 = storage->getMissingPiece(6, 2);
    p6->completeBlock(3);
    return storage;
  }

  std::string loadError(const std::string& bytes) {
    test::writeFile(path(), bytes);
    auto storage = newStorage();
    try {
      newFile(storage)->load();
    } catch (const RecoverableException& e) {
      EXPECT_EQ(0, storage->getCompletedLength()) << "applied despite: " << e.what();
      EXPECT_EQ(0u, storage->countInFlightPiece()) << "applied despite: " << e.what();
      EXPECT_EQ(bytes, test::readFile(path()));
      return e.what();
    }
    return "loaded";
  }

  test::TempDir dir_;
  std::vector<std::string> hashes_ = std::vector<std::string>(10, std::string(20, 'h'));
  Option option_;
  std::shared_ptr<DownloadContext> ctx_;
};

struct PieceState {
  size_t index;
  int64_t length;
  std::string bitfield;
  std::string hashType;
  bool operator==(const PieceState&) const = default;
};

std::vector<PieceState> inFlight(PieceStorage& storage) {
  std::vector<std::shared_ptr<Piece>> pieces;
  storage.getInFlightPieces(pieces);
  std::vector<PieceState> out;
  for (const auto& p : pieces) {
    out.push_back(
        {p->getIndex(), p->getLength(),
         std::string(reinterpret_cast<const char*>(p->getBitfield()), p->getBitfieldLength()),
         p->getHashType()});
  }
  return out;
}

std::string bitfieldOf(PieceStorage& storage) {
  return std::string(reinterpret_cast<const char*>(storage.getBitfield()),
                     storage.getBitfieldLength());
}

}  // namespace

TEST_F(ControlFileTest, RoundTripKeepsPresentAndInFlightBlocks) {
  auto saved = storageWithProgress();
  auto file = newFile(saved);
  EXPECT_EQ(path(), file->getFilename());
  file->save();
  EXPECT_FALSE(File(path() + "__temp").exists());

  auto loaded = newStorage();
  auto reader = newFile(loaded);
  EXPECT_TRUE(reader->exists());
  reader->load();
  EXPECT_EQ(bitfieldOf(*saved), bitfieldOf(*loaded));
  EXPECT_EQ(saved->getCompletedLength(), loaded->getCompletedLength());
  auto expected = inFlight(*saved);
  ASSERT_EQ(2u, expected.size());
  EXPECT_EQ(expected, inFlight(*loaded));
  EXPECT_EQ("sha-1", inFlight(*loaded)[0].hashType);
}

TEST_F(ControlFileTest, SavedBytesFollowTheFormat) {
  auto storage = storageWithProgress();
  newFile(storage)->save();
  std::string expected = head()
                             .raw("\x90\x40")
                             .u32(2)
                             .u32(5)
                             .u32(PIECE)
                             .u32(1)
                             .raw("\xa0")
                             .u32(6)
                             .u32(PIECE)
                             .u32(1)
                             .raw("\x10")
                             .str();
  EXPECT_EQ(expected, test::readFile(path()));
}

TEST_F(ControlFileTest, UnchangedContentIsWrittenOnce) {
  auto storage = storageWithProgress();
  auto file = newFile(storage);
  file->save();
  test::LogCapture log(dir_.file("log"));
  std::filesystem::remove(path());
  file->save();
  EXPECT_FALSE(File(path()).exists());
  EXPECT_FALSE(File(path() + "__temp").exists());
  EXPECT_EQ("", log.text());
  storage->getPiece(5)->completeBlock(1);
  file->save();
  EXPECT_TRUE(File(path()).exists());
}

TEST_F(ControlFileTest, FailedSaveKeepsTheOldFileAndIsTriedAgain) {
  auto storage = storageWithProgress();
  auto file = newFile(storage);
  file->save();
  std::string before = test::readFile(path());
  storage->getPiece(5)->completeBlock(1);

  // The temporary file cannot be written: the data never reaches the disk.
  ASSERT_EQ(0, symlink("/dev/full", (path() + "__temp").c_str()));
  try {
    file->save();
    FAIL() << "save succeeded";
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Failed to write into the segment file " + path(), std::string(e.what()));
  }
  EXPECT_EQ(before, test::readFile(path()));
  EXPECT_FALSE(std::filesystem::is_symlink(path() + "__temp"));

  // The temporary path cannot be opened.
  std::filesystem::create_directory(path() + "__temp");
  EXPECT_THROW(file->save(), DlAbortEx);
  EXPECT_EQ(before, test::readFile(path()));
  std::filesystem::remove(path() + "__temp");

  // The rename cannot replace the target.
  std::filesystem::remove(path());
  std::filesystem::create_directory(path());
  EXPECT_THROW(file->save(), DlAbortEx);
  EXPECT_FALSE(File(path() + "__temp").exists());
  std::filesystem::remove(path());

  // Nothing changed since the failures, yet the content is written now.
  file->save();
  auto loaded = newStorage();
  newFile(loaded)->load();
  EXPECT_EQ(inFlight(*storage), inFlight(*loaded));
}

TEST_F(ControlFileTest, TruncatedFilesAreRefusedWithoutApplyingAnything) {
  auto storage = storageWithProgress();
  newFile(storage)->save();
  std::string whole = test::readFile(path());
  for (size_t n = 0; n < whole.size(); ++n) {
    EXPECT_EQ("Failed to read from the segment file " + path(), loadError(whole.substr(0, n))) << n;
  }
  std::filesystem::remove(path());
  EXPECT_EQ("Failed to read from the segment file " + path(), loadError(""));
}

TEST_F(ControlFileTest, CorruptedFieldsAreRefusedWithTheirMessage) {
  struct Case {
    std::string bytes;
    std::string message;
  } cases[] = {
      {Bytes().raw(std::string("\0\2", 2)).str(), "Unsupported ctrl file version: 0002"},
      {Bytes().raw(std::string("\0\1", 2)).u32(0).u32(21).str(), "Invalid info hash length: 21"},
      {Bytes().raw(std::string("\0\1", 2)).u32(0).u32(0).u32(0).str(),
       "piece length must not be 0"},
      {Bytes().raw(std::string("\0\1", 2)).u32(0).u32(0).u32(0x80000000u).str(),
       "piece length out of range: 2147483648"},
      {Bytes().raw(std::string("\0\1", 2)).u32(0).u32(0).u32(PIECE).u64(TOTAL + 1).str(),
       "total length mismatch. expected: 650360, actual: 650361"},
      {head(PIECE, 3).str(), "bitfield length mismatch. expected: 2, actual: 3"},
      {head(1, 0xffffffffu).str(), "bitfield length mismatch. expected: 81295, actual: -1"},
      {head().raw("\x80\0").u32(1).u32(10).str(), "piece index out of range: 10"},
      {head().raw("\x80\0").u32(1).u32(3).u32(PIECE + 1).str(), "piece length out of range: 65537"},
      // Shorter than the piece: the missing tail would count as written.
      {head().raw("\x80\0").u32(1).u32(3).u32(PIECE - 1).str(), "piece length out of range: 65535"},
      // The last piece is 5000 bytes short of a full one.
      {head().raw("\x80\0").u32(1).u32(9).u32(PIECE).str(), "piece length out of range: 65536"},
      {head().raw("\x80\0").u32(1).u32(3).u32(PIECE).u32(2).str(),
       "piece bitfield length mismatch. expected: 1 actual: 2"},
      // A good piece, then a bad one: none of them is applied.
      {head().raw("\x80\0").u32(2).u32(3).u32(PIECE).u32(1).raw("\x80").u32(11).str(),
       "piece index out of range: 11"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.message, loadError(c.bytes));
  }
}

TEST_F(ControlFileTest, HostOrderVersionLoadsLikeVersionOne) {
  for (bool hostOrder : {false, true}) {
    std::string bytes =
        head(PIECE, 2, hostOrder).raw("\x41\x00").u32(1).u32(4).u32(PIECE).u32(1).raw("\x60").str();
    test::writeFile(path(), bytes);
    auto storage = newStorage();
    newFile(storage)->load();
    EXPECT_EQ(std::string("\x41\x00", 2), bitfieldOf(*storage));
    EXPECT_EQ((std::vector<PieceState>{{4, PIECE, "\x60", "sha-1"}}), inFlight(*storage));
  }
}

TEST_F(ControlFileTest, InfoHashOfATorrentRecordIsSkipped) {
  std::string bytes = Bytes()
                          .raw(std::string("\0\1", 2))
                          .u32(1)
                          .u32(20)
                          .raw(std::string(20, '\x5a'))
                          .u32(PIECE)
                          .u64(TOTAL)
                          .u64(12345)
                          .u32(2)
                          .raw("\xff\xc0")
                          .u32(0)
                          .str();
  test::writeFile(path(), bytes);
  auto storage = newStorage();
  newFile(storage)->load();
  EXPECT_TRUE(storage->allDownloadFinished());
}

TEST_F(ControlFileTest, InFlightEntriesOfCompletePiecesAreIgnored) {
  std::string bytes = head()
                          .raw("\x10\x00")
                          .u32(2)
                          .u32(3)
                          .u32(PIECE)
                          .u32(1)
                          .raw("\x80")
                          .u32(2)
                          .u32(PIECE)
                          .u32(1)
                          .raw("\x80")
                          .str();
  test::writeFile(path(), bytes);
  auto storage = newStorage();
  newFile(storage)->load();
  EXPECT_TRUE(storage->hasPiece(3));
  EXPECT_EQ((std::vector<PieceState>{{2, PIECE, "\x80", "sha-1"}}), inFlight(*storage));
}

TEST_F(ControlFileTest, SpareBitsAreCleared) {
  // Ten pieces: the six low bits of the second byte stand for no piece; the
  // last piece has four blocks, so four bits of its block byte are spare too.
  std::string bytes =
      head().raw("\x00\x7f").u32(1).u32(9).u32(PIECE - 5000).u32(1).raw("\xff").str();
  test::writeFile(path(), bytes);
  auto storage = newStorage();
  newFile(storage)->load();
  EXPECT_EQ(std::string("\x00\x40", 2), bitfieldOf(*storage));
  EXPECT_EQ((std::vector<PieceState>{}), inFlight(*storage));
  bytes[bytes.size() - 13 - 4 - 1] = 0;  // piece 9 no longer complete
  test::writeFile(path(), bytes);
  storage = newStorage();
  newFile(storage)->load();
  EXPECT_EQ(std::string("\x00\x00", 2), bitfieldOf(*storage));
  EXPECT_EQ((std::vector<PieceState>{{9, PIECE - 5000, "\xf0", "sha-1"}}), inFlight(*storage));
}

TEST_F(ControlFileTest, ChangedPieceLength) {
  // Recorded with 32 KiB pieces: 20 pieces, 3 bitfield bytes.
  auto record = [](const std::string& bits, uint32_t inFlightCount) {
    Bytes b = head(32 * KiB, 3).raw(bits).u32(inFlightCount);
    for (uint32_t i = 0; i < inFlightCount; ++i) {
      b.u32(7).u32(32 * KiB).u32(1).raw("\x80");
    }
    return b.str();
  };
  // No progress: accepted whatever the option says.
  EXPECT_EQ("loaded", loadError(record(std::string(3, '\0'), 0)));

  std::string message =
      "WARNING: Detected a change in piece length. You can proceed with "
      "--allow-piece-length-change=true, but you may lose some download progress.";
  // Old pieces 2, 3 (new piece 1 whole), 4 (half of new piece 2), 19 (the
  // last, short in both).
  std::string progress("\x38\x00\x10", 3);
  for (uint32_t inFlightCount : {0u, 1u}) {
    test::writeFile(path(), record(progress, inFlightCount));
    try {
      newFile(newStorage())->load();
      FAIL();
    } catch (const DownloadFailureException& e) {
      EXPECT_EQ(message, std::string(e.what()));
      EXPECT_EQ(error_code::PIECE_LENGTH_CHANGED, e.getErrorCode());
    }
  }
  test::writeFile(path(), record(std::string(3, '\0'), 1));
  EXPECT_THROW(newFile(newStorage())->load(), DownloadFailureException);

  option_.put(PREF_ALLOW_PIECE_LENGTH_CHANGE, "true");
  test::writeFile(path(), record(progress, 1));
  auto storage = newStorage();
  newFile(storage)->load();
  EXPECT_EQ(std::string("\x40\x00", 2), bitfieldOf(*storage));
  EXPECT_EQ(0u, storage->countInFlightPiece());
}

TEST_F(ControlFileTest, RecordThatCouldNotBeLoadedIsNotOverwritten) {
  std::string bytes = head(32 * KiB, 3).raw("\x38\x00\x10").u32(0).str();
  test::writeFile(path(), bytes);
  auto storage = newStorage();
  auto file = newFile(storage);
  EXPECT_THROW(file->load(), DownloadFailureException);
  file->save();
  EXPECT_EQ(bytes, test::readFile(path()));
  file->removeFile();
  EXPECT_FALSE(File(path()).exists());
  file->save();
  EXPECT_TRUE(File(path()).exists());
}

TEST_F(ControlFileTest, FilenameFollowsTheBasePath) {
  auto file = newFile(newStorage());
  EXPECT_FALSE(file->exists());
  file->removeFile();
  ctx_->getFirstFileEntry()->setPath(dir_.file("renamed"));
  EXPECT_EQ(path(), file->getFilename());
  file->updateFilename();
  EXPECT_EQ(dir_.file("renamed.quarn"), file->getFilename());
  EXPECT_EQ(".quarn", DefaultBtProgressInfoFile::getSuffix());

  NullProgressInfoFile null;
  EXPECT_EQ("", null.getFilename());
  EXPECT_FALSE(null.exists());
}

}  // namespace quarn

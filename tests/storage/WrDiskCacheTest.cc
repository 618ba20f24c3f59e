#include "storage/WrDiskCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/MessageDigest.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PiecedSegment.h"
#include "storage/SegmentMan.h"
#include "storage/SinkStreamFilter.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

namespace {

// An in-memory file that records how it was written and can be made to fail.
class RecordingDiskWriter : public DiskWriter {
 public:
  struct Log {
    std::map<int64_t, std::string> bytes;  // offset -> data, per write call
    int vecCalls = 0;
    std::vector<int> iovCounts;
    bool fail = false;
  };
  explicit RecordingDiskWriter(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  void initAndOpenFile(int64_t) override {}
  void openFile(int64_t) override {}
  void closeFile() override {}
  void openExistingFile(int64_t) override {}
  int64_t size() override { return 0; }
  void writeData(const uint8_t* data, size_t len, int64_t offset) override {
    if (log_->fail) {
      throw DL_ABORT_EX(5, "Failed to write into the file x, cause: I/O error",
                        error_code::FILE_IO_ERROR);
    }
    log_->bytes[offset] = std::string(reinterpret_cast<const char*>(data), len);
  }
  void writeDataVec(const struct iovec* iov, int iovcnt, int64_t offset) override {
    ++log_->vecCalls;
    log_->iovCounts.push_back(iovcnt);
    DiskWriter::writeDataVec(iov, iovcnt, offset);
  }
  ssize_t readData(uint8_t*, size_t, int64_t) override { return 0; }

 private:
  std::shared_ptr<Log> log_;
};

std::shared_ptr<DirectDiskAdaptor> recordingAdaptor(std::shared_ptr<RecordingDiskWriter::Log> log) {
  auto adaptor = std::make_shared<DirectDiskAdaptor>();
  auto entry = std::make_shared<FileEntry>("unused", 1 << 20, 0);
  std::vector<std::shared_ptr<FileEntry>> entries{entry};
  adaptor->setFileEntries(entries.begin(), entries.end());
  adaptor->setTotalLength(1 << 20);
  adaptor->setDiskWriter(std::make_unique<RecordingDiskWriter>(log));
  return adaptor;
}

std::unique_ptr<WrDiskCacheEntry::DataCell> cell(int64_t goff, size_t len, char fill,
                                                 size_t capacity = 0) {
  capacity = std::max(capacity, len);
  auto data = std::make_unique<uint8_t[]>(capacity);
  std::memset(data.get(), fill, capacity);
  return std::make_unique<WrDiskCacheEntry::DataCell>(
      WrDiskCacheEntry::DataCell{goff, std::move(data), 0, len, capacity});
}

// Puts len bytes into an entry already added to the cache, as a piece does.
void put(WrDiskCache& cache, WrDiskCacheEntry& entry, int64_t goff, size_t len) {
  ASSERT_TRUE(entry.cacheData(cell(goff, len, 'x')));
  ASSERT_TRUE(cache.update(&entry, len));
}

}  // namespace

TEST(WrDiskCacheTest, LargestEntryIsWrittenFirstWhenTheLimitIsPassed) {
  auto log = std::make_shared<RecordingDiskWriter::Log>();
  auto adaptor = recordingAdaptor(log);
  WrDiskCache cache(1000);
  WrDiskCacheEntry a(adaptor), b(adaptor);
  ASSERT_TRUE(cache.add(&a));
  ASSERT_TRUE(cache.add(&b));
  put(cache, a, 0, 600);
  EXPECT_EQ(600u, cache.getSize());
  put(cache, b, 10000, 500);
  EXPECT_EQ(500u, cache.getSize());
  EXPECT_EQ(0u, a.getSize());
  EXPECT_EQ(500u, b.getSize());
  EXPECT_EQ(1u, log->bytes.count(0));
  EXPECT_TRUE(cache.remove(&a));
  EXPECT_TRUE(cache.remove(&b));
  EXPECT_FALSE(cache.remove(&b));
  b.clear();
}

TEST(WrDiskCacheTest, EqualSizesFlushTheOlderChangeFirst) {
  auto log = std::make_shared<RecordingDiskWriter::Log>();
  auto adaptor = recordingAdaptor(log);
  WrDiskCache cache(1000);
  WrDiskCacheEntry a(adaptor), b(adaptor), c(adaptor);
  cache.add(&a);
  cache.add(&b);
  cache.add(&c);
  put(cache, a, 0, 400);
  put(cache, b, 1000, 400);
  put(cache, c, 2000, 300);  // 1100 > 1000: a (older than b) goes
  EXPECT_EQ(0u, a.getSize());
  EXPECT_EQ(400u, b.getSize());
  EXPECT_EQ(700u, cache.getSize());
  cache.remove(&a);
  cache.remove(&b);
  cache.remove(&c);
  b.clear();
  c.clear();
}

TEST(WrDiskCacheTest, EntryAppendAndDuplicateCells) {
  auto adaptor = recordingAdaptor(std::make_shared<RecordingDiskWriter::Log>());
  WrDiskCacheEntry e(adaptor);
  uint8_t data[100] = {};
  EXPECT_EQ(0u, e.append(0, data, 10));
  ASSERT_TRUE(e.cacheData(cell(0, 10, 'a', 50)));
  EXPECT_FALSE(e.cacheData(cell(0, 5, 'b')));
  EXPECT_EQ(10u, e.getSize());
  EXPECT_EQ(0u, e.append(11, data, 10));    // one past the end
  EXPECT_EQ(40u, e.append(10, data, 100));  // room for 40 only
  EXPECT_EQ(0u, e.append(50, data, 1));     // full
  EXPECT_EQ(50u, e.getSize());
  e.clear();
  EXPECT_EQ(0u, e.getSize());
}

TEST(WrDiskCacheTest, ContiguousCellsAreWrittenInOneVectorCall) {
  auto log = std::make_shared<RecordingDiskWriter::Log>();
  auto adaptor = recordingAdaptor(log);
  WrDiskCacheEntry e(adaptor);
  e.cacheData(cell(0, 4096, 'a'));
  e.cacheData(cell(4096, 4096, 'b'));
  e.cacheData(cell(8192, 100, 'c'));
  e.cacheData(cell(32768, 10, 'd'));
  e.writeToDisk();
  EXPECT_EQ(2, log->vecCalls);
  EXPECT_EQ((std::vector<int>{3, 1}), log->iovCounts);
  EXPECT_EQ(std::string(4096, 'a'), log->bytes[0]);
  EXPECT_EQ(std::string(10, 'd'), log->bytes[32768]);
  EXPECT_EQ(0, e.getError());
  EXPECT_EQ(0u, e.getSize());
}

TEST(WrDiskCacheTest, FailedFlushIsRecordedAndDropsTheData) {
  auto log = std::make_shared<RecordingDiskWriter::Log>();
  auto adaptor = recordingAdaptor(log);
  WrDiskCache cache(100);
  WrDiskCacheEntry e(adaptor);
  cache.add(&e);
  log->fail = true;
  put(cache, e, 0, 150);  // passes the limit: forced write, which fails
  EXPECT_EQ(1, e.getError());
  EXPECT_EQ(error_code::FILE_IO_ERROR, e.getErrorCode());
  EXPECT_EQ(0u, e.getSize());
  EXPECT_EQ(0u, cache.getSize());
  cache.remove(&e);
}

// A write that fails while the cache forces data out must not be counted as
// written: the piece's blocks go back to missing and the download learns of it
// at once, before any control file could record them as present.
class WrCacheFailureTest : public ::testing::Test {
 protected:
  explicit WrCacheFailureTest(size_t cacheLimit = 3 * Piece::BLOCK_LENGTH) : cache_(cacheLimit) {}
  void SetUp() override {
    ctx_ = std::make_shared<DownloadContext>(4 * Piece::BLOCK_LENGTH, 16 * Piece::BLOCK_LENGTH,
                                             "unused");
    storage_ = std::make_shared<DefaultPieceStorage>(ctx_, nullptr);
    storage_->setWrDiskCache(&cache_);
    storage_->initStorage();
    auto direct = std::static_pointer_cast<DirectDiskAdaptor>(storage_->getDiskAdaptor());
    direct->setDiskWriter(std::make_unique<RecordingDiskWriter>(log_));
    segmentMan_ = std::make_shared<SegmentMan>(ctx_, storage_);
  }
  void TearDown() override {
    log_->fail = false;
    segmentMan_.reset();
    storage_.reset();
  }
  // Writes n bytes into the segment through the sink.
  void write(const std::shared_ptr<Segment>& segment, size_t n) {
    std::string data(n, 'z');
    SinkStreamFilter sink(&cache_, false);
    sink.transform(storage_->getDiskAdaptor(), segment,
                   reinterpret_cast<const uint8_t*>(data.data()), n);
  }

  // Reads n bytes of `data` from `at` into the segment the way a socket does:
  // straight into the window the sink offers, `step` bytes at most per read.
  void receive(SinkStreamFilter& sink, const std::shared_ptr<Segment>& segment,
               const std::string& data, size_t at, size_t n, size_t step) {
    for (size_t end = at + n; at < end;) {
      auto window = sink.receiveWindow(segment, std::min(step, end - at));
      ASSERT_FALSE(window.empty());
      size_t len = std::min(window.size(), end - at);
      std::memcpy(window.data(), data.data() + at, len);
      sink.commitReceived(segment, len);
      ASSERT_EQ(len, sink.getBytesProcessed());
      at += len;
    }
  }
  std::string written() const {
    std::string all;
    for (const auto& [offset, bytes] : log_->bytes) {
      EXPECT_EQ(all.size(), static_cast<size_t>(offset));
      all += bytes;
    }
    return all;
  }

  std::shared_ptr<RecordingDiskWriter::Log> log_ = std::make_shared<RecordingDiskWriter::Log>();
  WrDiskCache cache_;
  std::shared_ptr<DownloadContext> ctx_;
  std::shared_ptr<DefaultPieceStorage> storage_;
  std::shared_ptr<SegmentMan> segmentMan_;
};

TEST_F(WrCacheFailureTest, SinkReportsTheFailureOfItsOwnPiece) {
  auto segment = segmentMan_->getSegment(1, 0);
  ASSERT_TRUE(segment);
  log_->fail = true;
  write(segment, 2 * Piece::BLOCK_LENGTH);
  EXPECT_EQ(2 * Piece::BLOCK_LENGTH, storage_->getCompletedLength());
  try {
    write(segment, 2 * Piece::BLOCK_LENGTH);  // passes the limit; the forced write fails
    FAIL() << "no error";
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ(error_code::FILE_IO_ERROR, e.getErrorCode());
    EXPECT_EQ("Write disk cache flush failure index=" + std::to_string(segment->getIndex()),
              e.what());
  }
  EXPECT_EQ(0, storage_->getCompletedLength());
  EXPECT_EQ(0u, cache_.getSize());
}

TEST_F(WrCacheFailureTest, FailedForcedWriteOfReceivedDataIsNotCounted) {
  auto segment = segmentMan_->getSegment(1, 0);
  ASSERT_TRUE(segment);
  std::string data(4 * Piece::BLOCK_LENGTH, 'r');
  SinkStreamFilter sink(&cache_, false);
  receive(sink, segment, data, 0, 2 * Piece::BLOCK_LENGTH, Piece::BLOCK_LENGTH);
  log_->fail = true;
  auto window = sink.receiveWindow(segment, 2 * Piece::BLOCK_LENGTH);
  ASSERT_EQ(2u * Piece::BLOCK_LENGTH, window.size());
  EXPECT_THROW(sink.commitReceived(segment, window.size()), DownloadFailureException);
  EXPECT_EQ(0, storage_->getCompletedLength());
  EXPECT_EQ(2 * Piece::BLOCK_LENGTH, segment->getWrittenLength());
  EXPECT_EQ(0u, cache_.getSize());
}

TEST_F(WrCacheFailureTest, FlushBeforeSavingClearsLostBlocksAndThrows) {
  auto s1 = segmentMan_->getSegment(1, 0);
  auto s2 = segmentMan_->getSegment(2, 0);
  ASSERT_TRUE(s1 && s2);
  write(s1, Piece::BLOCK_LENGTH);
  write(s2, Piece::BLOCK_LENGTH);
  log_->fail = true;
  EXPECT_THROW(storage_->flushWrDiskCacheEntry(false), DownloadFailureException);
  // Nothing reached the disk: nothing may be saved as present.
  EXPECT_EQ(0, storage_->getCompletedLength());
  std::vector<std::shared_ptr<Piece>> inFlight;
  storage_->getInFlightPieces(inFlight);
  for (const auto& piece : inFlight) {
    EXPECT_EQ(0u, piece->countCompleteBlock());
  }
}

TEST_F(WrCacheFailureTest, CancelAfterAFailedForcedWriteThrows) {
  auto s1 = segmentMan_->getSegment(1, 0);
  auto s2 = segmentMan_->getSegment(2, 0);
  write(s1, 2 * Piece::BLOCK_LENGTH);
  log_->fail = true;
  write(s2, 2 * Piece::BLOCK_LENGTH);  // forces s1's bigger entry out; that write fails
  EXPECT_EQ(1, s1->getPiece()->getWrDiskCacheEntry()->getError());
  log_->fail = false;
  try {
    segmentMan_->cancelSegment(1);
    FAIL() << "no error";
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ("Write disk cache flush failure index=" + std::to_string(s1->getIndex()), e.what());
  }
  EXPECT_EQ(0u, s1->getPiece()->countCompleteBlock());
  EXPECT_EQ(2 * Piece::BLOCK_LENGTH, storage_->getCompletedLength());  // s2 is intact
}

class WrCacheCompletionTest : public WrCacheFailureTest {
 protected:
  WrCacheCompletionTest() : WrCacheFailureTest(16 * Piece::BLOCK_LENGTH) {}
};

// Bytes read in place, mixed with copied ones and with writes the cache limit
// forces in between, reach the file and the piece hash exactly as sent.
TEST_F(WrCacheFailureTest, ReceivedInPlaceReachesTheFileAndTheHash) {
  auto segment = segmentMan_->getSegment(1, 0);
  ASSERT_TRUE(segment);
  segment->getPiece()->setHashType("sha-1");
  std::string data(4 * Piece::BLOCK_LENGTH, '\0');
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 + i / 4096);
  }
  SinkStreamFilter sink(&cache_, true);
  receive(sink, segment, data, 0, 5000, 1000);
  sink.commitReceived(segment, 0);  // a read that found nothing
  EXPECT_EQ(0u, sink.getBytesProcessed());
  sink.transform(storage_->getDiskAdaptor(), segment,
                 reinterpret_cast<const uint8_t*>(data.data()) + 5000, 3000);
  // Past the cache limit of three blocks: the entry is forced out while the
  // last reads are committed.
  receive(sink, segment, data, 8000, data.size() - 8000, 40000);
  ASSERT_TRUE(segment->complete());
  EXPECT_FALSE(log_->bytes.empty());
  ASSERT_TRUE(segment->isHashCalculated());
  auto md = MessageDigest::sha1();
  md->update(data.data(), data.size());
  EXPECT_EQ(md->digest(), segment->getDigest());
  EXPECT_TRUE(segmentMan_->completeSegment(1, segment));
  EXPECT_EQ(data, written());
  EXPECT_EQ(0u, cache_.getSize());
}

TEST_F(WrCacheCompletionTest, CompletionWritesWhatIsStillCached) {
  auto s1 = segmentMan_->getSegment(1, 0);
  write(s1, 2 * Piece::BLOCK_LENGTH);
  write(s1, 2 * Piece::BLOCK_LENGTH);
  ASSERT_TRUE(s1->complete());
  EXPECT_TRUE(segmentMan_->completeSegment(1, s1));
  EXPECT_TRUE(storage_->hasPiece(s1->getIndex()));
  size_t written = 0;
  for (const auto& [offset, data] : log_->bytes) {
    written += data.size();
  }
  EXPECT_EQ(4u * Piece::BLOCK_LENGTH, written);
  EXPECT_EQ(0u, cache_.getSize());

  auto s2 = segmentMan_->getSegment(1, 0);
  write(s2, 2 * Piece::BLOCK_LENGTH);
  write(s2, 2 * Piece::BLOCK_LENGTH);
  log_->fail = true;
  EXPECT_THROW(segmentMan_->completeSegment(1, s2), DownloadFailureException);
  EXPECT_FALSE(storage_->hasPiece(s2->getIndex()));
  EXPECT_EQ(4 * Piece::BLOCK_LENGTH, storage_->getCompletedLength());
}

}  // namespace quarn

#include "storage/DiskWriteQueue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "foundation/DownloadFailureException.h"
#include "storage/DefaultDiskWriter.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PendingWrites.h"
#include "storage/Piece.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/SinkStreamFilter.h"
#include "storage/WrDiskCache.h"

namespace quarn {

namespace {

// Hands `data` to the writer as a queued write of its own buffer.
void queueWrite(DiskWriter& w, DiskWriteQueue& queue, const std::shared_ptr<PendingWrites>& tally,
                std::string data, int64_t offset) {
  auto owned = std::make_shared<std::string>(std::move(data));
  struct iovec iov[2] = {{owned->data(), owned->size() / 2},
                         {owned->data() + owned->size() / 2, owned->size() - owned->size() / 2}};
  w.writeDataVecAsync(iov, 2, offset, {&queue, owned, tally, offset, int64_t(owned->size())});
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool haveDevFull() {
  return std::filesystem::exists("/dev/full");
}

}  // namespace

// A range written again ends with its later data, also when a write is larger
// than the backlog allows; reads and the file's size wait for the queue.
TEST(DiskWriteQueueTest, WritesOfAFileLandInOrderBeforeItIsReadOrClosed) {
  test::TempDir dir;
  const std::string path = dir.file("f");
  DefaultDiskWriter w(path);
  w.initAndOpenFile();
  auto tally = std::make_shared<PendingWrites>();
  DiskWriteQueue queue(3, 64 * 1024);
  for (char c = 'a'; c <= 'z'; ++c) {
    queueWrite(w, queue, tally, std::string(100 * 1024, c), 0);
    queueWrite(w, queue, tally, std::string(10, c), 200 * 1024);
  }
  EXPECT_EQ(200 * 1024 + 10, w.size());
  std::string head(4, '\0');
  ASSERT_EQ(4, w.readData(reinterpret_cast<uint8_t*>(head.data()), 4, 100 * 1024 - 4));
  EXPECT_EQ("zzzz", head);
  queueWrite(w, queue, tally, "tail", 200 * 1024 + 10);
  w.closeFile();
  EXPECT_TRUE(tally->idle());
  EXPECT_EQ(0, tally->firstError());
  const std::string text = fileText(path);
  ASSERT_EQ(200u * 1024 + 14, text.size());
  EXPECT_EQ(std::string(100 * 1024, 'z'), text.substr(0, 100 * 1024));
  EXPECT_EQ(std::string(10, 'z') + "tail", text.substr(200 * 1024));
}

// A failed queued write shows in the download's tally with the range it was
// to fill; the file's next write, queued or not, reports the failure at once.
TEST(DiskWriteQueueTest, FailureIsChargedToItsRangeAndStopsTheFilesWrites) {
  if (!haveDevFull()) {
    GTEST_SKIP() << "no /dev/full";
  }
  DefaultDiskWriter w("/dev/full");
  w.openExistingFile();
  auto tally = std::make_shared<PendingWrites>();
  DiskWriteQueue queue(1, 1 << 20);
  queueWrite(w, queue, tally, "lost", 4096);
  tally->wait();
  auto failures = tally->takeFailures();
  ASSERT_EQ(1u, failures.size());
  EXPECT_EQ(ENOSPC, failures[0].errNum);
  EXPECT_EQ(4096, failures[0].goff);
  EXPECT_EQ(4, failures[0].len);
  EXPECT_TRUE(tally->takeFailures().empty());
  for (int sync = 0; sync < 2; ++sync) {
    SCOPED_TRACE(sync);
    try {
      if (sync) {
        w.writeData(reinterpret_cast<const uint8_t*>("x"), 1, 0);
      } else {
        queueWrite(w, queue, tally, "x", 0);
      }
      FAIL() << "no error";
    } catch (const DownloadFailureException& e) {
      EXPECT_EQ(error_code::NOT_ENOUGH_DISK_SPACE, e.getErrorCode());
    }
  }
}

// A piece completes as soon as its data is handed to the queue; when the
// write then fails, the flush before a control file is saved finds it, and
// the piece is missing again so that neither the file nor the result claims it.
TEST(DiskWriteQueueTest, PieceWhoseQueuedWriteFailedIsMissingAgain) {
  if (!haveDevFull()) {
    GTEST_SKIP() << "no /dev/full";
  }
  auto ctx =
      std::make_shared<DownloadContext>(4 * Piece::BLOCK_LENGTH, 8 * Piece::BLOCK_LENGTH, "unused");
  WrDiskCache cache(16 * Piece::BLOCK_LENGTH);
  DiskWriteQueue queue(2, 1 << 20);
  auto storage = std::make_shared<DefaultPieceStorage>(ctx, nullptr);
  storage->setWrDiskCache(&cache);
  storage->setDiskWriteQueue(&queue);
  storage->initStorage();
  auto writer = std::make_unique<DefaultDiskWriter>("/dev/full");
  writer->openExistingFile();
  std::static_pointer_cast<DirectDiskAdaptor>(storage->getDiskAdaptor())
      ->setDiskWriter(std::move(writer));
  SegmentMan segmentMan(ctx, storage);

  auto segment = segmentMan.getSegment(1, 0);
  ASSERT_TRUE(segment);
  const std::string data(4 * Piece::BLOCK_LENGTH, 'd');
  SinkStreamFilter sink(&cache, false);
  sink.transform(storage->getDiskAdaptor(), segment, reinterpret_cast<const uint8_t*>(data.data()),
                 data.size());
  ASSERT_TRUE(segment->complete());
  EXPECT_TRUE(segmentMan.completeSegment(1, segment));
  EXPECT_TRUE(storage->hasPiece(segment->getIndex()));
  try {
    storage->flushWrDiskCacheEntry(false);
    FAIL() << "no error";
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ(error_code::NOT_ENOUGH_DISK_SPACE, e.getErrorCode());
  }
  EXPECT_FALSE(storage->hasPiece(segment->getIndex()));
  EXPECT_EQ(0, storage->getCompletedLength());
  // Charged once: the next flush finds nothing new.
  EXPECT_NO_THROW(storage->flushWrDiskCacheEntry(false));
}

}  // namespace quarn

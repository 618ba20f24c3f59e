#include <gtest/gtest.h>

#include <cstring>

#include "TempDir.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Time.h"
#include "storage/DefaultDiskWriter.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/FileEntry.h"
#include "storage/MultiDiskAdaptor.h"
#include "storage/OpenedFileCounter.h"

namespace quarn {

namespace {

std::vector<std::shared_ptr<FileEntry>> layout(const test::TempDir& dir,
                                               const std::vector<int64_t>& lengths,
                                               const std::vector<bool>& requested = {}) {
  std::vector<std::shared_ptr<FileEntry>> entries;
  int64_t offset = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    auto e = std::make_shared<FileEntry>(dir.file("f" + std::to_string(i + 1)), lengths[i], offset);
    if (!requested.empty()) {
      e->setRequested(requested[i]);
    }
    entries.push_back(e);
    offset += lengths[i];
  }
  return entries;
}

std::shared_ptr<MultiDiskAdaptor> multi(const std::vector<std::shared_ptr<FileEntry>>& entries,
                                        int32_t pieceLength) {
  auto a = std::make_shared<MultiDiskAdaptor>();
  a->setFileEntries(entries.begin(), entries.end());
  a->setPieceLength(pieceLength);
  return a;
}

}  // namespace

TEST(MultiDiskAdaptorTest, WritesAndReadsAcrossFileBoundaries) {
  test::TempDir dir;
  auto a = multi(layout(dir, {100, 50, 300}), 128);
  a->initAndOpenFile();
  std::string data(200, '\0');
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i);
  }
  a->writeData(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 80);
  a->closeFile();
  EXPECT_EQ(data.substr(0, 20), test::readFile(dir.file("f1")).substr(80));
  EXPECT_EQ(data.substr(20, 50), test::readFile(dir.file("f2")));
  EXPECT_EQ(data.substr(70, 130), test::readFile(dir.file("f3")));
  std::string back(200, '\0');
  EXPECT_EQ(200, a->readData(reinterpret_cast<uint8_t*>(back.data()), 200, 80));
  EXPECT_EQ(data, back);
  uint8_t b;
  try {
    a->writeData(&b, 1, 450);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("The offset is out of range, offset=450", e.what());
  }
}

TEST(MultiDiskAdaptorTest, WritersOnlyWhereRequestedPiecesReach) {
  test::TempDir dir;
  {
    auto a = multi(layout(dir, {100, 50, 300}, {false, false, true}), 128);
    a->openExistingFile();
    const auto& e = a->getDiskWriterEntries();
    EXPECT_FALSE(e[0]->getDiskWriter());
    EXPECT_TRUE(e[1]->needsFileAllocation());
    EXPECT_TRUE(e[1]->getDiskWriter());
    EXPECT_TRUE(e[2]->getDiskWriter());
  }
  {
    auto a = multi(layout(dir, {100, 50, 300}, {true, false, false}), 128);
    a->openExistingFile();
    const auto& e = a->getDiskWriterEntries();
    EXPECT_TRUE(e[0]->getDiskWriter());
    EXPECT_TRUE(e[1]->needsDiskWriter());
    EXPECT_TRUE(e[1]->getDiskWriter());
    EXPECT_FALSE(e[2]->getDiskWriter());
    uint8_t b = 0;
    try {
      a->writeData(&b, 1, 200);
      FAIL();
    } catch (const DlAbortEx& ex) {
      EXPECT_EQ("DiskWriter for offset=200, filename=" + dir.file("f3") + " is not opened.",
                std::string(ex.what()));
    }
  }
}

TEST(MultiDiskAdaptorTest, ReadStopsAtTheEndOfAShortFile) {
  test::TempDir dir;
  test::writeFile(dir.file("f1"), "0123456789");  // entry says 20 bytes
  test::writeFile(dir.file("f2"), std::string(20, 'x'));
  auto a = multi(layout(dir, {20, 20}), 16);
  a->openExistingFile();
  std::string buf(40, '\0');
  EXPECT_EQ(5, a->readData(reinterpret_cast<uint8_t*>(buf.data()), 40, 5));
  EXPECT_EQ("56789", buf.substr(0, 5));
  EXPECT_EQ(30, a->size());
  EXPECT_TRUE(a->fileExists());
  a->cutTrailingGarbage();
}

TEST(MultiDiskAdaptorTest, OpenFileBudgetClosesFilesOfActiveDownloads) {
  test::TempDir dir;
  auto a = multi(layout(dir, {10, 10, 10}), 10);
  std::weak_ptr<DiskAdaptor> weak = a;
  auto counter = std::make_shared<OpenedFileCounter>(
      [weak] { return std::vector<std::shared_ptr<DiskAdaptor>>{weak.lock()}; }, 2);
  a->setOpenedFileCounter(counter);
  a->openExistingFile();
  uint8_t b = 'x';
  size_t expected[] = {1, 2, 2, 2, 2};
  int64_t offsets[] = {0, 10, 20, 5, 25};
  for (int i = 0; i < 5; ++i) {
    a->writeData(&b, 1, offsets[i]);
    EXPECT_EQ(expected[i], counter->getNumOpenFiles());
  }
  a->closeFile();
  EXPECT_EQ(0u, counter->getNumOpenFiles());
  counter->deactivate();
  a->openFile();
  EXPECT_EQ(0u, counter->getNumOpenFiles());
  EXPECT_EQ(3u, a->tryCloseFile(5));
}

TEST(MultiDiskAdaptorTest, ReopeningWithoutClosingIsSafe) {
  test::TempDir dir;
  auto a = multi(layout(dir, {10, 10}), 10);
  a->initAndOpenFile();
  a->openFile();
  uint8_t b = 'x';
  a->writeData(&b, 1, 15);
  a->closeFile();
  EXPECT_EQ(std::string("\0\0\0\0\0x", 6), test::readFile(dir.file("f2")));
}

TEST(MultiDiskAdaptorTest, UtimeTouchesRequestedRegularFiles) {
  test::TempDir dir;
  auto a = multi(layout(dir, {10, 10, 10}, {true, false, true}), 10);
  a->initAndOpenFile();
  a->closeFile();
  EXPECT_EQ(2u, a->utime(Time(1000), Time(2000)));
}

TEST(DirectDiskAdaptorTest, SingleFileOperations) {
  test::TempDir dir;
  auto entries = layout(dir, {1000});
  DirectDiskAdaptor a;
  a.setFileEntries(entries.begin(), entries.end());
  a.setTotalLength(1000);
  a.setDiskWriter(std::make_unique<DefaultDiskWriter>(dir.file("f1")));
  EXPECT_FALSE(a.fileExists());
  a.initAndOpenFile();
  std::string big(2000, 'g');
  a.writeData(reinterpret_cast<const uint8_t*>(big.data()), big.size(), 0);
  EXPECT_EQ(2000, a.size());
  a.cutTrailingGarbage();
  EXPECT_EQ(1000, a.size());
  uint8_t buf[10];
  EXPECT_EQ(0, a.readDataDropCache(buf, 10, 1000));
  EXPECT_EQ(10, a.readDataDropCache(buf, 10, 990));
  EXPECT_EQ(1u, a.utime(Time(1000), Time(2000)));
  a.closeFile();
  a.enableReadOnly();
  EXPECT_TRUE(a.isReadOnlyEnabled());
  a.openFile();
  EXPECT_THROW(a.writeData(buf, 1, 0), DlAbortEx);
}

TEST(DirectDiskAdaptorTest, UtimeOnDirectoryTouchesNothing) {
  test::TempDir dir;
  auto e = std::make_shared<FileEntry>(dir.path().string(), 0, 0);
  std::vector<std::shared_ptr<FileEntry>> entries{e};
  DirectDiskAdaptor a;
  a.setFileEntries(entries.begin(), entries.end());
  EXPECT_EQ(0u, a.utime(Time(1000), Time(2000)));
}

}  // namespace quarn

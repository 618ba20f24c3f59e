#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"
#include "foundation/File.h"
#include "foundation/LogCapture.h"
#include "storage/AdaptiveFileAllocationIterator.h"
#include "storage/DefaultDiskWriter.h"
#include "storage/DirectDiskAdaptor.h"
#include "storage/FallocFileAllocationIterator.h"
#include "storage/FileEntry.h"
#include "storage/MultiDiskAdaptor.h"
#include "storage/SingleFileAllocationIterator.h"
#include "storage/TruncFileAllocationIterator.h"

namespace quarn {

namespace {

constexpr int64_t KiB = 1024;

int64_t allocatedBytes(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return static_cast<int64_t>(st.st_blocks) * 512;
}

std::unique_ptr<DefaultDiskWriter> openWriter(const std::string& path) {
  auto w = std::make_unique<DefaultDiskWriter>(path);
  w->openFile();
  return w;
}

}  // namespace

TEST(FileAllocationIteratorTest, ZeroWritingStepsAre256KiBAndTheOverhangIsCut) {
  test::TempDir dir;
  auto w = openWriter(dir.file("f"));
  AdaptiveFileAllocationIterator it(w.get(), 0, 600 * KiB);
  std::vector<int64_t> sizes;
  while (!it.finished()) {
    it.allocateChunk();
    sizes.push_back(w->size());
  }
  EXPECT_EQ((std::vector<int64_t>{256 * KiB, 512 * KiB, 600 * KiB}), sizes);
  EXPECT_EQ(600 * KiB, it.getCurrentLength());
  EXPECT_EQ(600 * KiB, it.getTotalLength());
  w->closeFile();
  EXPECT_EQ(std::string(600 * KiB, '\0'), test::readFile(dir.file("f")));
}

TEST(FileAllocationIteratorTest, ZeroWritingKeepsTheDataBeforeTheStartOffset) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), "existing");
  auto w = openWriter(dir.file("f"));
  SingleFileAllocationIterator it(w.get(), 8, 300 * KiB);
  it.init();
  EXPECT_EQ(8, it.getCurrentLength());
  it.allocateChunk();
  EXPECT_FALSE(it.finished());
  it.allocateChunk();
  EXPECT_TRUE(it.finished());
  w->closeFile();
  std::string data = test::readFile(dir.file("f"));
  ASSERT_EQ(static_cast<size_t>(300 * KiB), data.size());
  EXPECT_EQ("existing", data.substr(0, 8));
  EXPECT_EQ(std::string(300 * KiB - 8, '\0'), data.substr(8));
}

TEST(FileAllocationIteratorTest, FileAlreadyAtFullSizeNeedsNoStep) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), std::string(100 * KiB, 'x'));
  auto w = openWriter(dir.file("f"));
  std::vector<std::unique_ptr<FileAllocationIterator>> its;
  its.push_back(std::make_unique<SingleFileAllocationIterator>(w.get(), 100 * KiB, 100 * KiB));
  its.push_back(std::make_unique<AdaptiveFileAllocationIterator>(w.get(), 100 * KiB, 100 * KiB));
  its.push_back(std::make_unique<TruncFileAllocationIterator>(w.get(), 100 * KiB, 100 * KiB));
  its.push_back(std::make_unique<FallocFileAllocationIterator>(w.get(), 100 * KiB, 100 * KiB));
  for (auto& it : its) {
    EXPECT_TRUE(it->finished());
    EXPECT_EQ(100 * KiB, it->getCurrentLength());
  }
}

TEST(FileAllocationIteratorTest, FallocReservesSpaceInOneStep) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), "head");
  auto w = openWriter(dir.file("f"));
  FallocFileAllocationIterator it(w.get(), 4, 1024 * KiB);
  it.allocateChunk();
  EXPECT_TRUE(it.finished());
  EXPECT_EQ(1024 * KiB, w->size());
  EXPECT_GE(allocatedBytes(dir.file("f")), 1024 * KiB);
  w->closeFile();
  EXPECT_EQ("head", test::readFile(dir.file("f")).substr(0, 4));
}

TEST(FileAllocationIteratorTest, FallocCutsAFileThatIsTooLong) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), std::string(5000, 'x'));
  auto w = openWriter(dir.file("f"));
  FallocFileAllocationIterator it(w.get(), 5000, 3000);
  EXPECT_FALSE(it.finished());
  it.allocateChunk();
  EXPECT_TRUE(it.finished());
  EXPECT_EQ(3000, w->size());
}

TEST(FileAllocationIteratorTest, TruncSetsTheLengthWithoutReservingSpace) {
  test::TempDir dir;
  auto w = openWriter(dir.file("f"));
  TruncFileAllocationIterator it(w.get(), 0, 64 * 1024 * KiB);
  it.allocateChunk();
  EXPECT_TRUE(it.finished());
  EXPECT_EQ(64 * 1024 * KiB, w->size());
  EXPECT_LT(allocatedBytes(dir.file("f")), 1024 * KiB);
}

TEST(FileAllocationIteratorTest, SingleFileAdaptorAllocatesFromTheCurrentSize) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), std::string(100, 'x'));
  auto entry = std::make_shared<FileEntry>(dir.file("f"), 1000, 0);
  DirectDiskAdaptor adaptor;
  std::vector<std::shared_ptr<FileEntry>> entries{entry};
  adaptor.setFileEntries(entries.begin(), entries.end());
  adaptor.setTotalLength(1000);
  adaptor.setDiskWriter(std::make_unique<DefaultDiskWriter>(dir.file("f")));
  adaptor.openFile();
  struct Case {
    int method;
    bool sparse;
  };
  for (Case c :
       {Case{DiskAdaptor::FILE_ALLOC_ADAPTIVE, false}, Case{DiskAdaptor::FILE_ALLOC_FALLOC, false},
        Case{DiskAdaptor::FILE_ALLOC_TRUNC, true}}) {
    adaptor.truncate(100);
    adaptor.setFileAllocationMethod(c.method);
    auto it = adaptor.fileAllocationIterator();
    EXPECT_EQ(100, it->getCurrentLength()) << c.method;
    EXPECT_EQ(1000, it->getTotalLength()) << c.method;
    while (!it->finished()) {
      it->allocateChunk();
    }
    EXPECT_EQ(1000, adaptor.size()) << c.method;
  }
  adaptor.closeFile();
  EXPECT_EQ(std::string(100, 'x'), test::readFile(dir.file("f")).substr(0, 100));
}

TEST(FileAllocationIteratorTest, MultiFileAllocatesOnlyTheFilesThatNeedIt) {
  test::TempDir dir;
  test::writeFile(dir.file("f1"), std::string(300 * KiB, 'a'));
  std::vector<std::shared_ptr<FileEntry>> entries{
      std::make_shared<FileEntry>(dir.file("f1"), 300 * KiB, 0),
      std::make_shared<FileEntry>(dir.file("f2"), 400 * KiB, 300 * KiB),
      std::make_shared<FileEntry>(dir.file("f3"), 10, 700 * KiB)};
  entries[2]->setRequested(false);
  MultiDiskAdaptor adaptor;
  adaptor.setFileEntries(entries.begin(), entries.end());
  adaptor.setPieceLength(100 * KiB);
  adaptor.openExistingFile();
  ASSERT_TRUE(adaptor.getDiskWriterEntries()[0]->getDiskWriter());
  ASSERT_TRUE(adaptor.getDiskWriterEntries()[1]->getDiskWriter());
  auto it = adaptor.fileAllocationIterator();
  EXPECT_FALSE(it->finished());
  EXPECT_EQ(0, it->getTotalLength());

  it->allocateChunk();
  EXPECT_EQ(std::string(300 * KiB, 'a'), test::readFile(dir.file("f1")));
  EXPECT_EQ(256 * KiB, it->getCurrentLength());
  EXPECT_EQ(400 * KiB, it->getTotalLength());
  it->allocateChunk();
  EXPECT_EQ(400 * KiB, it->getCurrentLength());
  EXPECT_FALSE(it->finished());
  it->allocateChunk();
  EXPECT_TRUE(it->finished());
  EXPECT_EQ(0, it->getTotalLength());
  EXPECT_EQ(static_cast<size_t>(400 * KiB), test::readFile(dir.file("f2")).size());
  // The third file is not requested and shares no piece with the others.
  EXPECT_FALSE(File(dir.file("f3")).exists());
}

TEST(FileAllocationIteratorTest, NoticeIsLoggedOncePerProcess) {
  // The child runs the test afresh, so no earlier allocation of this process
  // has logged the notice yet.
  std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        size_t count = 0;
        {
          test::TempDir dir;
          test::LogCapture log(dir.file("log"));
          auto w = openWriter(dir.file("f"));
          for (int i = 0; i < 3; ++i) {
            AdaptiveFileAllocationIterator it(w.get(), 0, 10);
            it.allocateChunk();
          }
          w->closeFile();
          std::string text = log.text();
          for (size_t pos = 0;
               (pos = text.find("Allocating disk space.", pos)) != std::string::npos; ++pos) {
            ++count;
          }
        }
        std::exit(count == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace quarn

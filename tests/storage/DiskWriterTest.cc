#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TempDir.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DefaultDiskWriter.h"

namespace quarn {

namespace {

void write(DiskWriter& w, const std::string& s, int64_t offset) {
  w.writeData(reinterpret_cast<const uint8_t*>(s.data()), s.size(), offset);
}

std::string read(DiskWriter& w, size_t len, int64_t offset) {
  std::string buf(len, '\0');
  auto n = w.readData(reinterpret_cast<uint8_t*>(buf.data()), len, offset);
  buf.resize(n);
  return buf;
}

}  // namespace

TEST(DefaultDiskWriterTest, OpenFileCreatesMissingFileAndParents) {
  test::TempDir dir;
  std::string path = dir.file("a/b/c.bin");
  DefaultDiskWriter w(path);
  w.openFile();
  write(w, "hello", 3);
  EXPECT_EQ(8, w.size());
  EXPECT_EQ(std::string("\0\0\0hello", 8), read(w, 100, 0));
  EXPECT_EQ("", read(w, 10, 8));
  EXPECT_EQ("", read(w, 10, 100));
  w.closeFile();
  w.closeFile();
  DefaultDiskWriter again(path);
  again.openFile();
  EXPECT_EQ("hello", read(again, 5, 3));
}

TEST(DefaultDiskWriterTest, OpenErrorsCarryTheirCodes) {
  test::TempDir dir;
  DefaultDiskWriter missing(dir.file("missing"));
  try {
    missing.openExistingFile();
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(error_code::FILE_OPEN_ERROR, e.getErrorCode());
    EXPECT_EQ(ENOENT, e.getErrNum());
  }
  // A directory in the way is not "missing": openFile passes the error on.
  std::filesystem::create_directories(dir.file("isdir"));
  DefaultDiskWriter dirWriter(dir.file("isdir"));
  EXPECT_THROW(dirWriter.openFile(), DlAbortEx);
  DefaultDiskWriter unnamed("");
  EXPECT_THROW(unnamed.initAndOpenFile(), DlAbortEx);
}

TEST(DefaultDiskWriterTest, ReadOnlyWriterCannotWrite) {
  test::TempDir dir;
  test::writeFile(dir.file("f"), "abc");
  DefaultDiskWriter w(dir.file("f"));
  w.enableReadOnly();
  w.openExistingFile();
  EXPECT_EQ("abc", read(w, 3, 0));
  try {
    write(w, "x", 0);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(error_code::FILE_IO_ERROR, e.getErrorCode());
  }
}

TEST(DefaultDiskWriterTest, NoSpaceStopsTheDownload) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  DefaultDiskWriter w("/dev/full");
  w.openExistingFile();
  try {
    write(w, "data", 0);
    FAIL();
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ(error_code::NOT_ENOUGH_DISK_SPACE, e.getErrorCode());
    EXPECT_EQ(ENOSPC, e.getErrNum());
  }
}

TEST(DefaultDiskWriterTest, TruncateAndAllocate) {
  test::TempDir dir;
  DefaultDiskWriter w(dir.file("f"));
  EXPECT_THROW(w.allocate(0, 10, true), DlAbortEx);
  EXPECT_THROW(w.truncate(10), DlAbortEx);
  w.initAndOpenFile();
  w.allocate(0, 4096, true);
  EXPECT_EQ(4096, w.size());
  try {
    w.allocate(4096, 1 << 20, false);
  } catch (const DlAbortEx& e) {
    if (e.getErrNum() == EOPNOTSUPP) {
      GTEST_SKIP() << "no space reservation on this file system";
    }
    throw;
  }
  EXPECT_EQ(4096 + (1 << 20), w.size());
  struct stat st;
  ASSERT_EQ(0, stat(dir.file("f").c_str(), &st));
  EXPECT_GE(st.st_blocks * 512, 1 << 20);  // really reserved, not a hole
  w.truncate(10);
  EXPECT_EQ(10, w.size());
}

TEST(DefaultDiskWriterTest, VectorWriteSpansManyBuffers) {
  test::TempDir dir;
  DefaultDiskWriter w(dir.file("f"));
  w.initAndOpenFile();
  std::vector<std::string> parts;
  std::vector<struct iovec> iov;
  std::string expected;
  for (int i = 0; i < 2000; ++i) {  // more than one system call can take
    parts.push_back(std::string(1 + i % 7, static_cast<char>('a' + i % 26)));
  }
  for (auto& p : parts) {
    iov.push_back({p.data(), p.size()});
    expected += p;
  }
  w.writeDataVec(iov.data(), static_cast<int>(iov.size()), 5);
  EXPECT_EQ(std::string(5, '\0') + expected, test::readFile(dir.file("f")));
}

TEST(DefaultDiskWriterTest, MemoryMappedWriting) {
  test::TempDir dir;
  {
    // empty file: mapping is given up and writes go through the descriptor
    DefaultDiskWriter w(dir.file("empty"));
    w.initAndOpenFile();
    w.enableMmap();
    write(w, "abc", 0);
    EXPECT_FALSE(w.isMapped());
    write(w, "def", 3);
    EXPECT_FALSE(w.isMapped());
    EXPECT_EQ("abcdef", test::readFile(dir.file("empty")));
  }
  test::writeFile(dir.file("full"), std::string(100, '.'));
  DefaultDiskWriter w(dir.file("full"));
  w.openExistingFile();
  w.enableMmap();
  write(w, "xyz", 10);
  EXPECT_TRUE(w.isMapped());
  EXPECT_EQ("xyz", read(w, 3, 10));
  EXPECT_EQ("", read(w, 3, 100));
  write(w, "tail", 98);  // past the mapping: unmapped for good
  EXPECT_FALSE(w.isMapped());
  write(w, "q", 0);
  EXPECT_FALSE(w.isMapped());
  w.closeFile();
  std::string content = test::readFile(dir.file("full"));
  EXPECT_EQ(102u, content.size());
  EXPECT_EQ("q", content.substr(0, 1));
  EXPECT_EQ("xyz", content.substr(10, 3));
  EXPECT_EQ("tail", content.substr(98));
}

TEST(ByteArrayDiskWriterTest, LimitAndGapFilling) {
  ByteArrayDiskWriter w(10);
  write(w, "abcd", 6);
  EXPECT_EQ(std::string("\0\0\0\0\0\0abcd", 10), w.getString());
  try {
    write(w, "abcde", 6);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Maximum length(10) exceeded.", e.what());
  }
  ByteArrayDiskWriter w2;
  write(w2, "xy", 3);
  EXPECT_EQ(std::string("\0\0\0xy", 5), w2.getString());
  EXPECT_EQ("y", read(w2, 10, 4));
  EXPECT_EQ("", read(w2, 10, 5));
  w2.initAndOpenFile();
  EXPECT_EQ(0, w2.size());
}

}  // namespace quarn

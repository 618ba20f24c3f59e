#include "foundation/File.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "TempDir.h"

namespace quarn {

class FileTest : public ::testing::Test {
 protected:
  void touch(const std::string& path, const std::string& data = "") {
    std::ofstream(path, std::ios::binary) << data;
  }
  TempDir dir_;
};

TEST_F(FileTest, KindsSizesAndModes) {
  std::string path = dir_.file("f");
  touch(path, "12345");
  File f(path);
  EXPECT_TRUE(f.exists());
  EXPECT_TRUE(f.isFile());
  EXPECT_FALSE(f.isDir());
  EXPECT_EQ(5, f.size());
  EXPECT_TRUE(S_ISREG(f.mode()));
  EXPECT_TRUE(File(dir_.path()).isDir());
  EXPECT_TRUE(File::isDir(dir_.path()));
}

TEST_F(FileTest, MissingPath) {
  File f(dir_.file("missing"));
  EXPECT_FALSE(f.exists());
  EXPECT_FALSE(f.isFile());
  EXPECT_EQ(0, f.size());
  EXPECT_EQ(0u, f.mode());
  EXPECT_EQ(0, f.getModifiedTime().getTimeFromEpoch());
  std::string error;
  EXPECT_FALSE(f.exists(error));
  EXPECT_EQ("Could not get file status: No such file or directory", error);
  EXPECT_FALSE(f.remove());
}

TEST_F(FileTest, MkdirsCreatesTheChain) {
  std::string top = dir_.file("top");
  ASSERT_EQ(0, mkdir(top.c_str(), 0755));
  EXPECT_FALSE(File(top).mkdirs());
  EXPECT_TRUE(File(top + "/a//b/").mkdirs());
  EXPECT_TRUE(File::isDir(top + "/a"));
  EXPECT_TRUE(File::isDir(top + "/a/b"));
  EXPECT_TRUE(File(dir_.file("x/y")).mkdirs());
  EXPECT_TRUE(File::isDir(dir_.file("x/y")));
}

TEST_F(FileTest, MkdirsStopsAtARegularFile) {
  touch(dir_.file("plain"));
  EXPECT_FALSE(File(dir_.file("plain/sub/dir")).mkdirs());
  EXPECT_FALSE(File::isDir(dir_.file("plain/sub")));
}

TEST_F(FileTest, RemoveFilesDirsAndLinks) {
  std::string target = dir_.file("target");
  touch(target);
  std::string link = dir_.file("link");
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
  EXPECT_TRUE(File(link).remove());
  EXPECT_TRUE(File(target).exists());
  std::string dangling = dir_.file("dangling");
  ASSERT_EQ(0, symlink(dir_.file("nothing").c_str(), dangling.c_str()));
  EXPECT_FALSE(File(dangling).remove());
  std::string sub = dir_.file("sub");
  ASSERT_EQ(0, mkdir(sub.c_str(), 0755));
  touch(sub + "/inner");
  EXPECT_FALSE(File(sub).remove());
  EXPECT_TRUE(File(sub + "/inner").remove());
  EXPECT_TRUE(File(sub).remove());
  EXPECT_FALSE(File(sub).exists());
}

TEST(FilePathTest, BasenameAndDirname) {
  struct Case {
    const char* path;
    const char* dirname;
    const char* basename;
  } cases[] = {
      {"/file", "/", "file"}, {"dir/file", "dir", "file"}, {"file", ".", "file"}, {"", "", ""},
      {"dir/", "dir", ""},    {"/a/b/c", "/a/b", "c"},     {"/", "/", ""},
  };
  for (const auto& c : cases) {
    File f(c.path);
    EXPECT_EQ(c.dirname, f.getDirname()) << c.path;
    EXPECT_EQ(c.basename, f.getBasename()) << c.path;
  }
  EXPECT_EQ("/", File::getPathSeparators());
}

TEST_F(FileTest, RenameAndTimes) {
  std::string from = dir_.file("from");
  std::string to = dir_.file("to");
  touch(from);
  File f(from);
  EXPECT_TRUE(f.renameTo(to));
  EXPECT_EQ(to, f.getPath());
  EXPECT_TRUE(f.exists());
  EXPECT_FALSE(File(from).exists());
  EXPECT_FALSE(File(dir_.file("nope")).renameTo(dir_.file("other")));

  EXPECT_TRUE(f.utime(Time(1000), Time(784111777)));
  EXPECT_EQ(784111777, f.getModifiedTime().getTimeFromEpoch());
  EXPECT_FALSE(File(dir_.file("nope")).utime(Time(1), Time(1)));
}

TEST_F(FileTest, CurrentDir) {
  char buf[2048];
  ASSERT_NE(nullptr, getcwd(buf, sizeof(buf)));
  EXPECT_EQ(buf, File::getCurrentDir());
}

}  // namespace quarn

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "foundation/BufferedFile.h"
#include "foundation/GZipEncoder.h"
#include "foundation/GZipFile.h"
#include "foundation/NullOutputFile.h"

namespace quarn {

namespace {

std::string readRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string gunzip(const std::string& data) {
  z_stream strm{};
  EXPECT_EQ(Z_OK, inflateInit2(&strm, 31));
  std::string out;
  strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  strm.avail_in = data.size();
  char buf[4096];
  int ret;
  do {
    strm.next_out = reinterpret_cast<Bytef*>(buf);
    strm.avail_out = sizeof(buf);
    ret = inflate(&strm, Z_NO_FLUSH);
    out.append(buf, sizeof(buf) - strm.avail_out);
  } while (ret == Z_OK);
  EXPECT_EQ(Z_STREAM_END, ret);
  inflateEnd(&strm);
  return out;
}

}  // namespace

// Both file kinds must behave the same through the IOFile interface.
template <typename T>
class IOFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.file("f");
};

using FileKinds = ::testing::Types<BufferedFile, GZipFile>;
TYPED_TEST_SUITE(IOFileTest, FileKinds);

TYPED_TEST(IOFileTest, LinesRoundTripIncludingLongAndUnterminated) {
  std::string longLine(5000, 'L');
  {
    TypeParam f(this->path_.c_str(), IOFile::WRITE);
    ASSERT_TRUE(f);
    f.write("first\n");
    f.printf("%s\n%d", longLine.c_str(), 42);
    EXPECT_EQ(0, f.close());
  }
  TypeParam f(this->path_.c_str(), IOFile::READ);
  ASSERT_TRUE(f.isOpen());
  EXPECT_EQ("first", f.getLine());
  EXPECT_EQ(longLine, f.getLine());
  EXPECT_EQ("42", f.getLine());
  EXPECT_EQ("", f.getLine());
  EXPECT_TRUE(f.eof());
}

TYPED_TEST(IOFileTest, GetsnDropsOneNewline) {
  {
    TypeParam f(this->path_.c_str(), IOFile::WRITE);
    f.write("ab\n\ncd", 6);
  }
  TypeParam f(this->path_.c_str(), IOFile::READ);
  char buf[16];
  ASSERT_NE(nullptr, f.getsn(buf, sizeof(buf)));
  EXPECT_STREQ("ab", buf);
  ASSERT_NE(nullptr, f.getsn(buf, sizeof(buf)));
  EXPECT_STREQ("", buf);
  ASSERT_NE(nullptr, f.gets(buf, sizeof(buf)));
  EXPECT_STREQ("cd", buf);
  EXPECT_EQ(nullptr, f.gets(buf, sizeof(buf)));
}

TYPED_TEST(IOFileTest, MissingFileIsNotOpen) {
  TypeParam f(this->dir_.file("no/such").c_str(), IOFile::READ);
  EXPECT_FALSE(f);
  EXPECT_FALSE(f.isOpen());
  EXPECT_TRUE(f.eof());
  EXPECT_EQ("", f.getLine());
  EXPECT_EQ(0, f.close());
}

TYPED_TEST(IOFileTest, TransferCopiesTheRest) {
  std::string data(10000, 'd');
  data += "tail";
  {
    TypeParam f(this->path_.c_str(), IOFile::WRITE);
    EXPECT_EQ(data.size(), f.write(data.data(), data.size()));
  }
  TypeParam f(this->path_.c_str(), IOFile::READ);
  std::ostringstream out;
  EXPECT_EQ(data.size(), f.transfer(out));
  EXPECT_EQ(data, out.str());
}

TYPED_TEST(IOFileTest, AppendKeepsEarlierContent) {
  for (const char* text : {"one\n", "two\n"}) {
    TypeParam f(this->path_.c_str(), IOFile::APPEND);
    f.write(text);
  }
  TypeParam f(this->path_.c_str(), IOFile::READ);
  EXPECT_EQ("one", f.getLine());
  EXPECT_EQ("two", f.getLine());
}

TEST(GZipFileTest, WritesRealGzipAndPrintfGrowsItsBuffer) {
  TempDir dir;
  std::string path = dir.file("x.gz");
  std::string big(5000, 'z');
  {
    GZipFile f(path.c_str(), IOFile::WRITE);
    EXPECT_EQ(5001, f.printf("%s!", big.c_str()));
  }
  EXPECT_EQ(big + "!", gunzip(readRaw(path)));
}

TEST(BufferedFileTest, RegularFileHasNoColour) {
  TempDir dir;
  BufferedFile f(dir.file("c").c_str(), IOFile::WRITE);
  EXPECT_FALSE(f.supportsColor());
}

TEST(NullOutputFileTest, DiscardsEverything) {
  NullOutputFile f;
  EXPECT_EQ(0u, f.write("abc"));
  EXPECT_EQ(0, f.printf("%d", 12345));
  EXPECT_EQ(0, f.flush());
  EXPECT_FALSE(f.supportsColor());
}

TEST(GZipEncoderTest, ProducesCompleteGzipMember) {
  GZipEncoder enc;
  enc.init();
  enc << "abc";
  std::string out = enc.str();
  ASSERT_GE(out.size(), 18u);
  EXPECT_EQ('\x1f', out[0]);
  EXPECT_EQ('\x8b', out[1]);
  EXPECT_EQ("abc", gunzip(out));
}

TEST(GZipEncoderTest, MixedPiecesAndReinit) {
  GZipEncoder enc;
  enc.init();
  std::string big(100000, 'q');
  enc << std::string("n=") << int64_t{-42};
  enc.write(big.data(), big.size());
  EXPECT_TRUE("n=-42" + big == gunzip(enc.str()));
  enc.init();
  enc << "again";
  EXPECT_EQ("again", gunzip(enc.str()));
}

}  // namespace quarn

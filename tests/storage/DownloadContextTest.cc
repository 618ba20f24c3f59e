#include "storage/DownloadContext.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/OutputFile.h"

namespace quarn {

namespace {

std::shared_ptr<DownloadContext> withFiles(const std::vector<int64_t>& lengths) {
  auto ctx = std::make_shared<DownloadContext>();
  ctx->setPieceLength(10);
  std::vector<std::shared_ptr<FileEntry>> entries;
  int64_t offset = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    entries.push_back(std::make_shared<FileEntry>("f" + std::to_string(i), lengths[i], offset));
    offset += lengths[i];
  }
  ctx->setFileEntries(entries.begin(), entries.end());
  return ctx;
}

}  // namespace

TEST(DownloadContextTest, GeometryAndLookup) {
  DownloadContext empty(16384, 0);
  EXPECT_EQ(1u, empty.getFileEntries().size());
  EXPECT_EQ(0, empty.getTotalLength());
  EXPECT_EQ(0u, empty.getNumPieces());
  auto zeros = withFiles({0, 0, 0});
  EXPECT_EQ(zeros->getFileEntries()[2], zeros->findFileEntryByOffset(0));
  auto ctx = withFiles({5, 0, 20});
  EXPECT_EQ(3u, ctx->getNumPieces());
  EXPECT_EQ(ctx->getFileEntries()[0], ctx->findFileEntryByOffset(4));
  EXPECT_EQ(ctx->getFileEntries()[2], ctx->findFileEntryByOffset(5));
  EXPECT_EQ(nullptr, ctx->findFileEntryByOffset(25));
  EXPECT_EQ(0, ctx->getFileEntries()[2]->gtoloff(5));
}

TEST(DownloadContextTest, HashesAndFlags) {
  auto ctx = withFiles({25});
  EXPECT_FALSE(ctx->isChecksumVerificationAvailable());
  ctx->setDigest("sha-1", "12345678901234567890");
  EXPECT_TRUE(ctx->isChecksumVerificationNeeded());
  std::vector<std::string> hashes{"a", "b"};
  ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
  EXPECT_FALSE(ctx->isPieceHashVerificationAvailable());  // 3 pieces, 2 hashes
  EXPECT_FALSE(ctx->isChecksumVerificationNeeded());
  EXPECT_EQ("", ctx->getPieceHash(2));
  EXPECT_EQ("b", ctx->getPieceHash(1));
  EXPECT_FALSE(ctx->hasAttribute(CTX_ATTR_BT));
  try {
    ctx->getAttribute(CTX_ATTR_BT);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("No attribute named BitTorrent", e.what());
  }
}

TEST(DownloadContextTest, PathsByIndexAndRequestedFiles) {
  auto ctx = withFiles({1, 1, 1});
  ctx->setFilePathWithIndex(2, "x");
  EXPECT_EQ("x", ctx->getFileEntries()[1]->getPath());
  EXPECT_THROW(ctx->setFilePathWithIndex(0, "y"), DlAbortEx);
  EXPECT_THROW(ctx->setFilePathWithIndex(4, "y"), DlAbortEx);
  ctx->getFileEntries()[0]->setRequested(false);
  EXPECT_EQ(ctx->getFileEntries()[1], ctx->getFirstRequestedFileEntry());
  EXPECT_EQ(2u, ctx->countRequestedFileEntry());
  EXPECT_EQ("f0", ctx->getBasePath());
}

TEST(FileEntryTest, UriResults) {
  FileEntry e("p", 10, 0, {"http://a/1", "http://b/2", "http://a/1"});
  e.removeIdenticalURI("http://a/1");
  EXPECT_EQ((std::vector<std::string>{"http://b/2"}), e.getUris());
  e.addURIResult("u1", error_code::TIME_OUT);
  e.addURIResult("u2", error_code::RESOURCE_NOT_FOUND);
  e.addURIResult("u3", error_code::TIME_OUT);
  std::deque<URIResult> out;
  e.extractURIResult(out, error_code::TIME_OUT);
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ("u1", out[0].uri);
  EXPECT_EQ("u3", out[1].uri);
  ASSERT_EQ(1u, e.getURIResults().size());
  FileEntry none;
  EXPECT_FALSE(none.isRequested());
}

TEST(DownloadContextTest, FileFilterFromIndexes) {
  struct Case {
    std::vector<std::pair<int, int>> ranges;
    std::vector<bool> expected;
  } cases[] = {
      {{{2, 3}, {4, 5}}, {false, true, false, true, false}},
      {{}, {true, true, true, true, true}},
      {{{9, 10}}, {false, false, false, false, false}},
      {{{1, 6}}, {true, true, true, true, true}},
  };
  for (const auto& c : cases) {
    auto ctx = withFiles({1, 1, 1, 1, 1});
    SegList<int> list;
    for (auto [a, b] : c.ranges) {
      list.add(a, b);
    }
    list.normalize();
    ctx->setFileFilter(list);
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(c.expected[i], ctx->getFileEntries()[i]->isRequested()) << i;
    }
  }
  auto one = withFiles({1});
  one->getFileEntries()[0]->setRequested(false);
  SegList<int> list;
  list.add(5, 6);
  list.normalize();
  one->setFileFilter(list);
  EXPECT_TRUE(one->getFileEntries()[0]->isRequested());
}

namespace {

class StringOutput : public OutputFile {
 public:
  size_t write(const char* s) override {
    text += s;
    return strlen(s);
  }
  int flush() override { return 0; }
  int vprintf(const char*, va_list) override { return 0; }
  bool supportsColor() override { return false; }
  std::string text;
};

}  // namespace

TEST(FileEntryTest, UriListEditing) {
  FileEntry e;
  EXPECT_TRUE(e.addUri("http://host/a b"));
  EXPECT_EQ("http://host/a%20b", e.getRemainingUris().back());
  EXPECT_FALSE(e.addUri("no scheme here"));
  EXPECT_EQ(1u, e.getRemainingUris().size());
  EXPECT_TRUE(e.insertUri("http://other/x", 1000));
  EXPECT_TRUE(e.insertUri("http://first/x", 0));
  EXPECT_EQ("http://first/x", e.getRemainingUris().front());
  EXPECT_EQ("http://other/x", e.getRemainingUris().back());
  e.getRemainingUris().push_back("not a uri");
  e.removeURIWhoseHostnameIs("other");
  EXPECT_EQ(2u, e.getRemainingUris().size());
  e.getSpentUris().push_back("http://first/x");
  EXPECT_TRUE(e.removeUri("http://first/x"));
  EXPECT_TRUE(e.getSpentUris().empty());
  EXPECT_EQ(2u, e.getRemainingUris().size());
  EXPECT_FALSE(e.removeUri("http://nowhere/"));
  EXPECT_EQ(1u, e.setUris({"http://a/", "bad"}));
}

TEST(FileEntryTest, DisplayName) {
  StringOutput out;
  writeFilePath(out, std::make_shared<FileEntry>(), false);
  EXPECT_EQ("n/a", out.text);
  out.text.clear();
  writeFilePath(out, std::make_shared<FileEntry>("/d/file.bin", 1, 0), true);
  EXPECT_EQ("[MEMORY]file.bin", out.text);
  out.text.clear();
  writeFilePath(out, std::make_shared<FileEntry>("", 1, 0, std::vector<std::string>{"http://u/"}),
                false);
  EXPECT_EQ("http://u/", out.text);
}

}  // namespace quarn

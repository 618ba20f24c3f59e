#include "engine/DownloadContext.h"

#include <gtest/gtest.h>

#include "foundation/DlAbortEx.h"

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

}  // namespace quarn

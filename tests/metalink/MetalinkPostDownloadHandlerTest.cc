#include "metalink/MetalinkPostDownloadHandler.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "engine/DownloadTestUtil.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

namespace quarn {

namespace {

// A finished download of a Metalink document fetched from its URI.
std::shared_ptr<RequestGroup> finishedDocument(const std::shared_ptr<Option>& global,
                                               const std::string& path, const std::string& doc) {
  { std::ofstream(path, std::ios::binary) << doc; }
  auto group =
      test::makeGroup(global, path, {"http://h/dir/doc.meta4"}, static_cast<int64_t>(doc.size()));
  group->initPieceStorage();
  return group;
}

}  // namespace

TEST(MetalinkPostDownloadHandlerTest, FinishedDocumentBecomesTheDownloadsItDescribes) {
  test::TempDir dir;
  auto global = test::makeGlobalOption();
  auto doc = finishedDocument(
      global, dir.file("doc.meta4"),
      "<?xml version=\"1.0\"?><metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">"
      "<file name=\"a\"><url>a.bin</url></file><file name=\"b\"><url>b.bin</url></file>"
      "</metalink>");
  MetalinkPostDownloadHandler handler;
  ASSERT_TRUE(handler.canHandle(doc.get()));
  std::vector<std::shared_ptr<RequestGroup>> groups;
  handler.getNextRequestGroups(groups, doc.get());
  ASSERT_EQ(2u, groups.size());
  // Relative mirrors are relative to where the document came from.
  EXPECT_EQ(std::vector<std::string>{"http://h/dir/b.bin"},
            groups[1]->getDownloadContext()->getFirstFileEntry()->getUris());
  EXPECT_EQ((std::vector<GroupId::gid_t>{groups[0]->getGID(), groups[1]->getGID()}),
            doc->followedBy());
  for (const auto& g : groups) {
    EXPECT_EQ(doc->getGID(), g->following());
    ASSERT_TRUE(g->getMetadataInfo());
    EXPECT_EQ("http://h/dir/doc.meta4", g->getMetadataInfo()->getUri());
  }
}

TEST(MetalinkPostDownloadHandlerTest, BadDocumentFailsWithoutDownloads) {
  test::TempDir dir;
  auto global = test::makeGlobalOption();
  auto doc = finishedDocument(global, dir.file("doc.meta4"), "<?xml version=\"1.0\"?><metalink");
  std::vector<std::shared_ptr<RequestGroup>> groups;
  EXPECT_THROW(MetalinkPostDownloadHandler().getNextRequestGroups(groups, doc.get()), DlAbortEx);
  EXPECT_TRUE(groups.empty());
  EXPECT_TRUE(doc->followedBy().empty());
}

}  // namespace quarn

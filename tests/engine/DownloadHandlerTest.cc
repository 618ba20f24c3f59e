#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "TempDir.h"
#include "engine/ContentTypeRequestGroupCriteria.h"
#include "engine/PostDownloadHandler.h"
#include "engine/PreDownloadHandler.h"
#include "engine/ProtocolDetector.h"
#include "engine/ValueBaseDiskWriter.h"
#include "engine/download_handlers.h"
#include "foundation/BencodeParser.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/String.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DiskWriterFactory.h"

namespace quarn {
namespace {

class DownloadHandlerTest : public ::testing::Test {
 protected:
  DownloadHandlerTest() {
    global_->put(PREF_FOLLOW_TORRENT, "false");
    global_->put(PREF_FOLLOW_METALINK, "false");
    global_->put(PREF_DRY_RUN, "false");
  }

  std::shared_ptr<Option> global_ = test::makeGlobalOption();
};

TEST_F(DownloadHandlerTest, FollowOptionsChooseTheHandlers) {
  EXPECT_TRUE(test::makeGroup(global_, "a")->getPreDownloadHandlers().empty());

  global_->put(PREF_FOLLOW_TORRENT, "mem");
  auto torrent = test::makeGroup(global_, "a");
  EXPECT_EQ(std::vector<const PreDownloadHandler*>{download_handlers::getBtPreDownloadHandler()},
            torrent->getPreDownloadHandlers());

  global_->put(PREF_FOLLOW_TORRENT, "true");
  global_->put(PREF_FOLLOW_METALINK, "mem");
  auto metalink = test::makeGroup(global_, "a");
  EXPECT_EQ(
      std::vector<const PreDownloadHandler*>{download_handlers::getMetalinkPreDownloadHandler()},
      metalink->getPreDownloadHandlers());

  global_->put(PREF_DRY_RUN, "true");
  global_->put(PREF_FOLLOW_TORRENT, "mem");
  EXPECT_TRUE(test::makeGroup(global_, "a")->getPreDownloadHandlers().empty());
}

TEST_F(DownloadHandlerTest, ContentTypeCriteriaMatchesExtensionOrTypeOfOneFile) {
  ContentTypeRequestGroupCriteria criteria(download_handlers::BT_CONTENT_TYPES,
                                           download_handlers::BT_EXTENSIONS);
  EXPECT_TRUE(criteria.match(test::makeGroup(global_, "/d/FILE.TORRENT").get()));
  EXPECT_FALSE(criteria.match(test::makeGroup(global_, "/d/file.torrent.part").get()));

  auto typed = test::makeGroup(global_, "/d/noext");
  EXPECT_FALSE(criteria.match(typed.get()));
  typed->getDownloadContext()->getFirstFileEntry()->setContentType("Application/X-BitTorrent");
  EXPECT_TRUE(criteria.match(typed.get()));

  auto twoFiles = test::makeGroup(global_, "/d/a.torrent");
  auto& ctx = *twoFiles->getDownloadContext();
  std::vector<std::shared_ptr<FileEntry>> entries{
      ctx.getFirstFileEntry(), std::make_shared<FileEntry>("/d/b.torrent", 0, 0)};
  ctx.setFileEntries(entries.begin(), entries.end());
  EXPECT_FALSE(criteria.match(twoFiles.get()));

  ContentTypeRequestGroupCriteria metalink(download_handlers::METALINK_CONTENT_TYPES,
                                           download_handlers::METALINK_EXTENSIONS);
  EXPECT_TRUE(metalink.match(test::makeGroup(global_, "x.meta4").get()));
  EXPECT_TRUE(metalink.match(test::makeGroup(global_, "x.Metalink").get()));
  EXPECT_FALSE(metalink.match(test::makeGroup(global_, "x.torrent").get()));
}

TEST_F(DownloadHandlerTest, MatchingPreDownloadHandlerKeepsTheDownloadInMemory) {
  global_->put(PREF_FOLLOW_TORRENT, "mem");
  auto g = test::makeGroup(global_, "/d/file.torrent");
  g->preDownloadProcessing();
  EXPECT_TRUE(g->inMemoryDownload());
  EXPECT_FALSE(g->isFileAllocationEnabled());
  EXPECT_FALSE(g->isLocalFileCheckEnabled());
  EXPECT_EQ(1, g->getMaxConcurrentCommands());
  ASSERT_TRUE(g->getDiskWriterFactory());
  EXPECT_EQ(0, g->getDiskWriterFactory()->newDiskWriter("ignored")->size());
  EXPECT_EQ("[MEMORY]file.torrent", g->getFirstFilePath());

  auto plain = test::makeGroup(global_, "/d/file.iso");
  plain->preDownloadProcessing();
  EXPECT_FALSE(plain->inMemoryDownload());
  EXPECT_EQ(5, plain->getMaxConcurrentCommands());
  EXPECT_FALSE(plain->getDiskWriterFactory());
}

TEST_F(DownloadHandlerTest, MemoryHandlerWithoutCriterionAppliesToEveryDownload) {
  auto g = test::makeGroup(global_, "/d/anything");
  g->addPreDownloadHandler(download_handlers::getMemoryPreDownloadHandler());
  g->preDownloadProcessing();
  EXPECT_TRUE(g->inMemoryDownload());
  auto writer = g->getDiskWriterFactory()->newDiskWriter("");
  ASSERT_TRUE(dynamic_cast<ByteArrayDiskWriter*>(writer.get()));
  std::string big(ByteArrayDiskWriter::DEFAULT_MAX_LENGTH + 1, 'x');
  EXPECT_THROW(writer->writeData(reinterpret_cast<const uint8_t*>(big.data()), big.size(), 0),
               DlAbortEx);
}

class ThrowingCriteria : public RequestGroupCriteria {
 public:
  bool match(const RequestGroup*) const override { throw DL_ABORT_EX("criterion failed"); }
};

class RecordingPostHandler : public PostDownloadHandler {
 public:
  explicit RecordingPostHandler(std::shared_ptr<RequestGroup> next) : next_(std::move(next)) {}
  void getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                            RequestGroup*) const override {
    groups.push_back(next_);
  }

 private:
  std::shared_ptr<RequestGroup> next_;
};

TEST_F(DownloadHandlerTest, FirstApplicableHandlerRunsAndFailuresStayInside) {
  auto next = test::makeGroup(global_, "next");
  RecordingPostHandler failing(next);
  failing.setCriteria(std::make_unique<ThrowingCriteria>());
  RecordingPostHandler first(next);
  RecordingPostHandler second(next);

  auto g = test::makeGroup(global_, "done");
  g->addPostDownloadHandler(&first);
  g->addPostDownloadHandler(&second);
  std::vector<std::shared_ptr<RequestGroup>> groups;
  g->postDownloadProcessing(groups);
  EXPECT_EQ(1u, groups.size()) << "only the first handler that applies runs";

  auto broken = test::makeGroup(global_, "done");
  broken->addPostDownloadHandler(&failing);
  broken->addPostDownloadHandler(&first);
  groups.clear();
  EXPECT_NO_THROW(broken->postDownloadProcessing(groups));
  EXPECT_TRUE(groups.empty());
}

TEST(ValueBaseDiskWriterTest, ParsesDataFedInPiecesIntoAValueTree) {
  ValueBaseDiskWriter<bittorrent::BencodeParser> writer;
  writer.initAndOpenFile();
  std::string doc = "d4:name5:hello6:lengthi42ee";
  for (size_t i = 0; i < doc.size(); i += 5) {
    auto n = std::min<size_t>(5, doc.size() - i);
    writer.writeData(reinterpret_cast<const uint8_t*>(doc.data() + i), n, 12345);
  }
  EXPECT_EQ(0, writer.size());
  uint8_t buf[4];
  EXPECT_EQ(0, writer.readData(buf, sizeof(buf), 0));
  ssize_t error = 0;
  auto value = writer.finalize(error);
  ASSERT_GE(error, 0);
  auto* dict = dynamic_cast<Dict*>(value.get());
  ASSERT_TRUE(dict);
  auto* name = dynamic_cast<String*>(dict->get("name"));
  ASSERT_TRUE(name);
  EXPECT_EQ("hello", name->s());

  writer.initAndOpenFile();
  std::string cut = "d4:name";
  writer.writeData(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), 0);
  EXPECT_FALSE(writer.finalize(error));
  EXPECT_LT(error, 0);
}

TEST(ValueBaseDiskWriterTest, RefusesMoreThanTheInMemoryLimit) {
  ValueBaseDiskWriter<bittorrent::BencodeParser> writer;
  writer.initAndOpenFile();
  std::string chunk(ByteArrayDiskWriter::DEFAULT_MAX_LENGTH / 2, '0');
  chunk[0] = 'l';
  writer.writeData(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), 0);
  writer.writeData(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), 0);
  EXPECT_THROW(writer.writeData(reinterpret_cast<const uint8_t*>("e"), 1, 0), DlAbortEx);
  writer.initAndOpenFile();
  EXPECT_NO_THROW(writer.writeData(reinterpret_cast<const uint8_t*>("le"), 2, 0));
}

TEST(ProtocolDetectorTest, GuessesFromTheFirstBytes) {
  test::TempDir dir;
  ProtocolDetector detector;
  test::writeFile(dir.file("empty"), "");
  test::writeFile(dir.file("dict"), "dxyz");
  test::writeFile(dir.file("xml"), "<?xml version=\"1.0\"?><methodCall/>");
  test::writeFile(dir.file("short"), "<?xm");
  EXPECT_FALSE(detector.guessTorrentFile(dir.file("empty")));
  EXPECT_FALSE(detector.guessTorrentFile(dir.file("missing")));
  EXPECT_TRUE(detector.guessTorrentFile(dir.file("dict")));
  EXPECT_FALSE(detector.guessTorrentFile(dir.file("xml")));
  EXPECT_TRUE(detector.guessMetalinkFile(dir.file("xml")));
  EXPECT_FALSE(detector.guessMetalinkFile(dir.file("short")));
  EXPECT_FALSE(detector.guessMetalinkFile(dir.file("missing")));
  EXPECT_FALSE(detector.guessMetalinkFile(dir.path().string()));

  EXPECT_TRUE(detector.isStreamProtocol("http://example.org/file"));
  EXPECT_TRUE(detector.isStreamProtocol("ftp://user@host:21/f"));
  EXPECT_FALSE(detector.isStreamProtocol("file.torrent"));
}

TEST(ContextAttributeTypeTest, NamesOnlyBitTorrent) {
  EXPECT_STREQ("BitTorrent", strContextAttributeType(CTX_ATTR_BT));
  EXPECT_STREQ("UNKNOWN", strContextAttributeType(static_cast<ContextAttributeType>(1)));
}

}  // namespace
}  // namespace quarn

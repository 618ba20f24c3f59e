#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/BtDependency.h"
#include "bittorrent/BtPostDownloadHandler.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/torrent_reader.h"
#include "engine/DownloadTestUtil.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {
namespace {

// A torrent of the files t/a, t/b and t/c, 10 bytes each.
std::string multiFileTorrent() {
  auto root = test::withInfo(test::multiInfo("t", {"c", "a", "b"}));
  root->put("announce", "http://tracker/a");
  return test::encode(root);
}

std::string singleFileTorrent() {
  auto info = test::singleInfo("one", 100);
  auto files = test::strings({"http://seed/one"});
  auto root = test::withInfo(std::move(info));
  root->put("url-list", std::move(files));
  return test::encode(root);
}

class TorrentFollowTest : public ::testing::Test {
 protected:
  TorrentFollowTest() { option_->put(PREF_DIR, dir_.path().string()); }

  // A download that stored `data` as `name`, finished unless told otherwise.
  std::shared_ptr<RequestGroup> storedDownload(const std::string& name, const std::string& data,
                                               bool finished = true) {
    const auto path = dir_.file(name);
    std::ofstream(path, std::ios::binary) << data;
    auto group =
        test::makeGroup(option_, path, {"http://host/" + name}, static_cast<int64_t>(data.size()));
    group->initPieceStorage();
    if (finished) {
      group->getPieceStorage()->markAllPiecesDone();
    }
    return group;
  }

  // A download of the given torrent files (by original name), each with its
  // own path and one mirror.
  std::shared_ptr<RequestGroup> dependant(const std::vector<std::string>& names) {
    auto group = test::makeGroup(option_);
    std::vector<std::shared_ptr<FileEntry>> entries;
    int64_t offset = 0;
    for (const auto& name : names) {
      auto entry =
          std::make_shared<FileEntry>(dir_.file("out-" + std::to_string(offset)), 10, offset,
                                      std::vector<std::string>{"http://m/" + name});
      entry->setOriginalName(name);
      entry->setMaxConnectionPerServer(7);
      entries.push_back(entry);
      offset += 10;
    }
    auto ctx = std::make_shared<DownloadContext>();
    ctx->setFileEntries(entries.begin(), entries.end());
    group->setDownloadContext(ctx);
    return group;
  }

  test::TempDir dir_;
  std::shared_ptr<Option> option_ = test::makeGlobalOption();
};

TEST_F(TorrentFollowTest, DependencyWaitsWhileTheTorrentDownloadRuns) {
  auto dependee = storedDownload("x.torrent", multiFileTorrent(), false);
  auto group = dependant({"t/b"});
  dependee->increaseNumCommand();
  BtDependency dep(group.get(), dependee);
  EXPECT_FALSE(dep.resolve());
  EXPECT_FALSE(group->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
}

TEST_F(TorrentFollowTest, DependantTakesItsFilesFromTheFinishedTorrent) {
  auto group = dependant({"t/c", "t/a"});
  const auto ownPaths =
      std::vector<std::string>{group->getDownloadContext()->getFileEntries()[0]->getPath(),
                               group->getDownloadContext()->getFileEntries()[1]->getPath()};
  BtDependency dep(group.get(), storedDownload("x.torrent", multiFileTorrent()));
  ASSERT_TRUE(dep.resolve());
  const auto& ctx = group->getDownloadContext();
  ASSERT_TRUE(ctx->hasAttribute(CTX_ATTR_BT));
  ASSERT_EQ(3u, ctx->getFileEntries().size());
  struct Want {
    std::string name;
    bool requested;
    std::string path;
  };
  for (const Want& want :
       {Want{"t/c", true, ownPaths[0]}, Want{"t/a", true, ownPaths[1]}, Want{"t/b", false, ""}}) {
    SCOPED_TRACE(want.name);
    auto it = std::find_if(ctx->getFileEntries().begin(), ctx->getFileEntries().end(),
                           [&](const auto& e) { return e->getOriginalName() == want.name; });
    ASSERT_NE(ctx->getFileEntries().end(), it);
    EXPECT_EQ(want.requested, (*it)->isRequested());
    if (want.requested) {
      EXPECT_EQ(want.path, (*it)->getPath());
      EXPECT_EQ(std::deque<std::string>{"http://m/" + want.name}, (*it)->getRemainingUris());
      EXPECT_EQ(7, (*it)->getMaxConnectionPerServer());
    }
  }
  // Settled: the dependee is forgotten.
  EXPECT_TRUE(dep.resolve());
}

TEST_F(TorrentFollowTest, OneUnnamedFileTakesTheOneTorrentFileAfterItsWebSeeds) {
  auto group = dependant({""});
  const auto ownPath = group->getDownloadContext()->getFirstFileEntry()->getPath();
  BtDependency dep(group.get(), storedDownload("one.torrent", singleFileTorrent()));
  ASSERT_TRUE(dep.resolve());
  const auto& entry = group->getDownloadContext()->getFirstFileEntry();
  ASSERT_TRUE(group->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
  EXPECT_EQ(ownPath, entry->getPath());
  EXPECT_EQ((std::deque<std::string>{"http://seed/one", "http://m/"}), entry->getRemainingUris());
}

TEST_F(TorrentFollowTest, FetchedMetadataBecomesTheTorrentWithTheDependeesTrackers) {
  const std::string metadata = test::encode(test::multiInfo("t", {"a", "b"}));
  auto dependee = storedDownload("meta", metadata);
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = MessageDigest::sha1()->update(metadata.data(), metadata.size()).digest();
  attrs->announceList = {{"http://tracker/m"}};
  dependee->getDownloadContext()->setAttribute(CTX_ATTR_BT, attrs);
  auto group = dependant({"t/b"});
  BtDependency dep(group.get(), dependee);
  ASSERT_TRUE(dep.resolve());
  const auto& ctx = group->getDownloadContext();
  ASSERT_TRUE(ctx->hasAttribute(CTX_ATTR_BT));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"http://tracker/m"}}),
            bittorrent::getTorrentAttrs(ctx)->announceList);
  ASSERT_EQ(2u, ctx->getFileEntries().size());
  EXPECT_FALSE(ctx->getFileEntries()[0]->isRequested());
  EXPECT_TRUE(ctx->getFileEntries()[1]->isRequested());
}

// Fetched metadata whose digest is not the awaited info hash never becomes
// the dependant's torrent.
TEST_F(TorrentFollowTest, FetchedMetadataOfAnotherInfoHashIsNotTaken) {
  auto dependee = storedDownload("meta", test::encode(test::multiInfo("t", {"a", "b"})));
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = std::string(20, 'h');
  dependee->getDownloadContext()->setAttribute(CTX_ATTR_BT, attrs);
  auto group = dependant({"t/b"});
  const auto before = group->getDownloadContext();
  BtDependency dep(group.get(), dependee);
  EXPECT_TRUE(dep.resolve());
  EXPECT_EQ(before, group->getDownloadContext());
  EXPECT_FALSE(group->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
}

// Every failure leaves the dependant as it was described.
TEST_F(TorrentFollowTest, DependantGoesWithoutTorrentWhenTheTorrentIsUnusable) {
  struct Case {
    const char* label;
    std::string data;
    bool finished;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"dependee failed", multiFileTorrent(), false, {"t/a"}},
      {"not bencode", "this is no torrent", true, {"t/a"}},
      {"bencode but no torrent", "d3:fooi1ee", true, {"t/a"}},
      {"file missing from torrent", multiFileTorrent(), true, {"t/a", "t/zz"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto group = dependant(c.names);
    const auto before = group->getDownloadContext();
    BtDependency dep(group.get(), storedDownload("x.torrent", c.data, c.finished));
    EXPECT_TRUE(dep.resolve());
    EXPECT_EQ(before, group->getDownloadContext());
    EXPECT_FALSE(group->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
    EXPECT_TRUE(group->isDependencyResolved());
  }
}

TEST_F(TorrentFollowTest, RequestGroupWaitsOnItsDependency) {
  auto dependee = storedDownload("x.torrent", multiFileTorrent(), false);
  auto group = dependant({"t/a"});
  dependee->increaseNumCommand();
  group->dependsOn(std::make_unique<BtDependency>(group.get(), dependee));
  EXPECT_FALSE(group->isDependencyResolved());
  dependee->decreaseNumCommand();
  EXPECT_TRUE(group->isDependencyResolved());
}

TEST_F(TorrentFollowTest, HandlerCriteria) {
  struct Case {
    std::string path;
    std::string contentType;
    size_t files;
    bool match;
  };
  const Case cases[] = {
      {"/d/x.torrent", "", 1, true},
      {"/d/X.TORRENT", "", 1, true},
      {"/d/x.torrent.txt", "", 1, false},
      {"/d/x", "application/x-bittorrent", 1, true},
      {"/d/x", "Application/X-BitTorrent", 1, true},
      {"/d/x", "text/html", 1, false},
      {"/d/x.torrent", "", 2, false},
  };
  BtPostDownloadHandler handler;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + c.contentType + " " + std::to_string(c.files));
    auto group = test::makeGroup(option_);
    std::vector<std::shared_ptr<FileEntry>> entries;
    for (size_t i = 0; i < c.files; ++i) {
      entries.push_back(std::make_shared<FileEntry>(c.path, 0, 0));
      entries.back()->setContentType(c.contentType);
    }
    auto ctx = std::make_shared<DownloadContext>();
    ctx->setFileEntries(entries.begin(), entries.end());
    group->setDownloadContext(ctx);
    EXPECT_EQ(c.match, handler.canHandle(group.get()));
  }
}

TEST_F(TorrentFollowTest, HandlerMakesTorrentDownloadsThatFollowTheFile) {
  auto file = storedDownload("x.torrent", multiFileTorrent());
  std::vector<std::shared_ptr<RequestGroup>> groups;
  BtPostDownloadHandler().getNextRequestGroups(groups, file.get());
  ASSERT_EQ(1u, groups.size());
  EXPECT_TRUE(groups[0]->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
  EXPECT_EQ(file->getGID(), groups[0]->following());
  EXPECT_EQ(std::vector<GroupId::gid_t>{groups[0]->getGID()}, file->followedBy());
  EXPECT_EQ(3u, groups[0]->getDownloadContext()->getFileEntries().size());
}

TEST_F(TorrentFollowTest, HandlerRejectsAFileThatIsNotBencode) {
  auto file = storedDownload("x.torrent", "<html>not found</html>");
  std::vector<std::shared_ptr<RequestGroup>> groups;
  try {
    BtPostDownloadHandler().getNextRequestGroups(groups, file.get());
    FAIL() << "no exception";
  } catch (DlAbortEx& e) {
    EXPECT_STREQ("Could not parse BitTorrent metainfo", e.what());
    EXPECT_EQ(error_code::BENCODE_PARSE_ERROR, e.getErrorCode());
  }
  EXPECT_TRUE(groups.empty());
  EXPECT_TRUE(file->followedBy().empty());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/bt_downloads.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadSources.h"
#include "engine/DownloadTestUtil.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/download_helper.h"
#include "foundation/DlAbortEx.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

// Downloads made from torrent files and magnet links.
class TorrentDownloadsTest : public ::testing::Test {
 protected:
  TorrentDownloadsTest() {
    option_->put(PREF_DIR, dir_.path().string());
    auto root = test::withInfo(test::multiInfo("t", {"a", "b", "c"}));
    root->put("announce", "http://tracker/a");
    torrent_ = test::encode(root);
    torrentPath_ = dir_.file("x.torrent");
    sources_.add(bittorrent::makeDownloads);
    std::ofstream(torrentPath_, std::ios::binary) << torrent_;
  }

  std::string infoHashHex() {
    auto ctx = std::make_shared<DownloadContext>();
    bittorrent::loadFromMemory(torrent_, ctx, test::torrentOption(), "x");
    return bittorrent::getInfoHashString(ctx);
  }

  test::TempDir dir_;
  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  std::vector<std::shared_ptr<RequestGroup>> result_;
  DownloadSources sources_;
  std::string torrent_;
  std::string torrentPath_;
};

TEST_F(TorrentDownloadsTest, TorrentFileArgumentComesAfterStreamUris) {
  option_->put(PREF_SELECT_FILE, "2-3");
  option_->put(PREF_INDEX_OUT, "3=renamed");
  option_->put(PREF_BT_TRACKER, "http://extra/a");
  createRequestGroupForUri(result_, option_, {torrentPath_, "http://h/1"}, false, false, true,
                           &sources_);
  ASSERT_EQ(2u, result_.size());
  EXPECT_FALSE(result_[0]->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
  const auto& group = result_[1];
  const auto& ctx = group->getDownloadContext();
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"http://tracker/a"}, {"http://extra/a"}}),
            attrs->announceList);
  EXPECT_EQ(torrentPath_, group->getMetadataInfo()->getUri());
  EXPECT_FALSE(ctx->getAcceptMetalink());
  const auto& files = ctx->getFileEntries();
  EXPECT_FALSE(files[0]->isRequested());
  EXPECT_TRUE(files[1]->isRequested());
  EXPECT_EQ(dir_.file("renamed"), files[2]->getPath());
}

TEST_F(TorrentDownloadsTest, LocalFilesAreIgnoredWhenAsked) {
  createRequestGroupForUri(result_, option_, {torrentPath_}, false, true, false, &sources_);
  EXPECT_TRUE(result_.empty());
}

TEST_F(TorrentDownloadsTest, TorrentFromDataOrFile) {
  bittorrent::createRequestGroupForBitTorrent(result_, option_, {"http://seed/"}, "", torrent_);
  ASSERT_EQ(1u, result_.size());
  EXPECT_TRUE(result_[0]->getMetadataInfo()->dataOnly());
  EXPECT_EQ(std::vector<std::string>{"http://seed/t/a"},
            result_[0]->getDownloadContext()->getFirstFileEntry()->getUris());
  EXPECT_EQ(5, result_[0]->getMaxConcurrentCommands());
  const std::pair<std::string, std::string> bad[] = {{"", dir_.file("absent")},
                                                     {"not bencode", ""}};
  for (const auto& [data, path] : bad) {
    try {
      bittorrent::createRequestGroupForBitTorrent(result_, option_, {}, path, data);
      ADD_FAILURE() << data << path;
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(error_code::BENCODE_PARSE_ERROR, e.getErrorCode());
    }
  }
}

TEST_F(TorrentDownloadsTest, MagnetLinkBecomesAMetadataDownload) {
  const std::string magnet =
      "magnet:?xt=urn:btih:" + infoHashHex() + "&dn=a/b&tr=http%3A%2F%2Ftr%2Fa";
  createRequestGroupForUri(result_, option_, {magnet}, false, false, true, &sources_);
  ASSERT_EQ(1u, result_.size());
  const auto& group = result_[0];
  const auto& ctx = group->getDownloadContext();
  EXPECT_TRUE(bittorrent::getTorrentAttrs(ctx)->metadata.empty());
  EXPECT_EQ("[METADATA]a-b", ctx->getFirstFileEntry()->getPath());
  EXPECT_FALSE(ctx->knowsTotalLength());
  EXPECT_EQ(16384, ctx->getPieceLength());
  EXPECT_TRUE(group->inMemoryDownload());
  EXPECT_FALSE(group->isFileAllocationEnabled());
  EXPECT_EQ(magnet, group->getMetadataInfo()->getUri());

  // With the torrent saved earlier under its info hash, it is used instead.
  std::ofstream(dir_.file(infoHashHex() + ".torrent"), std::ios::binary) << torrent_;
  option_->put(PREF_BT_LOAD_SAVED_METADATA, "true");
  result_.clear();
  createRequestGroupForUri(result_, option_, {magnet}, false, false, true, &sources_);
  ASSERT_EQ(1u, result_.size());
  EXPECT_FALSE(bittorrent::getTorrentAttrs(result_[0]->getDownloadContext())->metadata.empty());
  EXPECT_EQ(magnet, result_[0]->getMetadataInfo()->getUri());
}

// A saved file under the link's info hash is used only when it holds the
// torrent of that hash; otherwise the metadata is fetched from peers.
TEST_F(TorrentDownloadsTest, SavedMetadataOfAnotherTorrentIsNotLoaded) {
  const std::string magnet = "magnet:?xt=urn:btih:" + infoHashHex();
  const std::string saved = dir_.file(infoHashHex() + ".torrent");
  option_->put(PREF_BT_LOAD_SAVED_METADATA, "true");
  const std::pair<const char*, std::string> cases[] = {
      {"another torrent", test::encode(test::withInfo(test::multiInfo("t", {"a", "z"})))},
      {"bencode but no torrent", "d3:fooi1ee"},
      {"not bencode", "garbage"},
  };
  for (const auto& [label, data] : cases) {
    SCOPED_TRACE(label);
    std::ofstream(saved, std::ios::binary | std::ios::trunc) << data;
    result_.clear();
    createRequestGroupForUri(result_, option_, {magnet}, false, false, true, &sources_);
    ASSERT_EQ(1u, result_.size());
    const auto* attrs = bittorrent::getTorrentAttrs(result_[0]->getDownloadContext());
    EXPECT_TRUE(attrs->metadata.empty());
    EXPECT_EQ(infoHashHex(), util::toHex(attrs->infoHash));
  }
}

TEST_F(TorrentDownloadsTest, BrokenMagnetIsNoMagnet) {
  try {
    createRequestGroupForUri(result_, option_, {"magnet:?xt=urn:btih:zz"}, false, false, true,
                             &sources_);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Unrecognized URI or unsupported protocol: magnet:?xt=urn:btih:zz", e.what());
  }
}

}  // namespace
}  // namespace quarn

#include "metalink/Metalink2RequestGroup.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/download_handlers.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "metalink/metalink_setup.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

using Groups = std::vector<std::shared_ptr<RequestGroup>>;

std::string v4(const std::string& body) {
  return "<?xml version=\"1.0\"?><metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">" + body +
         "</metalink>";
}

std::string file(const std::string& name, const std::string& inner) {
  return "<file name=\"" + name + "\">" + inner + "</file>";
}

class Metalink2RequestGroupTest : public ::testing::Test {
 protected:
  Metalink2RequestGroupTest() : option_(std::make_shared<Option>()) {
    OptionParser::getInstance()->parseDefaultValues(*option_);
    option_->put(PREF_DIR, dir_.file("out"));
  }

  Groups generate(const std::string& doc) {
    std::string path = dir_.file("doc.meta4");
    { std::ofstream(path, std::ios::binary) << doc; }
    Groups groups;
    Metalink2RequestGroup().generate(groups, path, option_);
    return groups;
  }

  static std::string torrentOf(const std::string& metaurl) {
    return "<metaurl mediatype=\"torrent\">" + metaurl + "</metaurl>";
  }

  // Runs the torrent download as the engine would, up to its last byte.
  static void fetchInMemory(RequestGroup& group, const std::string& data) {
    group.preDownloadProcessing();
    auto& file = *group.getDownloadContext()->getFirstFileEntry();
    file.setLength(static_cast<int64_t>(data.size()));
    group.getDownloadContext()->setKnowsTotalLength(true);
    group.initPieceStorage();
    const auto& adaptor = group.getPieceStorage()->getDiskAdaptor();
    adaptor->initAndOpenFile();
    adaptor->writeData(reinterpret_cast<const unsigned char*>(data.data()), data.size(), 0);
    adaptor->closeFile();
    group.getPieceStorage()->markAllPiecesDone();
  }

  static std::vector<std::string> uris(const RequestGroup& group, size_t index = 0) {
    auto v = group.getDownloadContext()->getFileEntries()[index]->getUris();
    return v;
  }

  test::TempDir dir_;
  std::shared_ptr<Option> option_;
};

const std::string MIRRORS =
    "<url location=\"DE\">http://de/f</url>"
    "<url location=\"JP\">http://jp/f</url>"
    "<url>https://tls/f</url><url>ftp://ftp/f</url>";

}  // namespace

TEST_F(Metalink2RequestGroupTest, PreferredLocationAndProtocolComeFirst) {
  struct Row {
    const char* location;
    const char* protocol;
    std::string first;
  };
  const Row rows[] = {
      {"jp", "none", "http://jp/f"},
      {" Jp , xx", "none", "http://jp/f"},
      {nullptr, "https", "https://tls/f"},
      {nullptr, "ftp", "ftp://ftp/f"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.protocol);
    if (row.location) {
      option_->put(PREF_METALINK_LOCATION, row.location);
    } else {
      option_->remove(PREF_METALINK_LOCATION);
    }
    option_->put(PREF_METALINK_PREFERRED_PROTOCOL, row.protocol);
    auto groups = generate(v4(file("f", MIRRORS)));
    ASSERT_EQ(1u, groups.size());
    auto u = uris(*groups[0]);
    ASSERT_EQ(4u, u.size());
    EXPECT_EQ(row.first, u[0]);
  }
}

TEST_F(Metalink2RequestGroupTest, OneDownloadPerFileWithWhatTheDocumentSays) {
  const std::string sha256(64, 'a');
  const std::string sha1(40, 'b');
  auto groups = generate(
      v4(file("sub/f.bin", "<size>300000</size><hash type=\"sha-256\">" + sha256 +
                               "</hash><pieces length=\"262144\" type=\"sha-1\"><hash>" + sha1 +
                               "</hash><hash>" + sha1 +
                               "</hash></pieces><signature mediatype=\"application/pgp-signature\">"
                               "SIG</signature><url>http://h/f</url><url>gopher://h/f</url>")));
  ASSERT_EQ(1u, groups.size());
  const auto& dctx = groups[0]->getDownloadContext();
  const auto& fe = dctx->getFirstFileEntry();
  EXPECT_EQ(dir_.file("out") + "/sub/f.bin", fe->getPath());
  EXPECT_EQ("sub/f.bin", fe->getSuffixPath());
  EXPECT_EQ(300000, fe->getLength());
  EXPECT_EQ((std::vector<std::string>{"http://h/f"}), fe->getUris());
  EXPECT_TRUE(fe->isUniqueProtocol());
  EXPECT_EQ(262144, dctx->getPieceLength());
  EXPECT_EQ("sha-256", dctx->getHashType());
  EXPECT_EQ(sha256, util::toHex(dctx->getDigest()));
  EXPECT_EQ("sha-1", dctx->getPieceHashType());
  EXPECT_EQ(2u, dctx->getPieceHashes().size());
  ASSERT_NE(nullptr, dctx->getSignature());
  EXPECT_EQ("SIG", dctx->getSignature()->getBody());
  EXPECT_FALSE(dctx->getAcceptMetalink());
  // Downloads from one document name it as their source, once.
  ASSERT_TRUE(groups[0]->getMetadataInfo());
  EXPECT_EQ(dir_.file("doc.meta4"), groups[0]->getMetadataInfo()->getUri());
  EXPECT_FALSE(groups[0]->getMetadataInfo()->dataOnly());
}

TEST_F(Metalink2RequestGroupTest, ConnectionsFollowTheDocumentsLimitBelowSplit) {
  auto v3 = [](const char* maxconn) {
    return std::string(
               "<?xml version=\"1.0\"?><metalink xmlns=\"http://www.metalinker.org/\">"
               "<files><file name=\"f\"><resources maxconnections=\"") +
           maxconn + "\"><url type=\"http\">http://h/f</url></resources></file></files></metalink>";
  };
  option_->put(PREF_SPLIT, "5");
  EXPECT_EQ(2, generate(v3("2"))[0]->getMaxConcurrentCommands());
  EXPECT_EQ(5, generate(v3("10"))[0]->getMaxConcurrentCommands());
  EXPECT_EQ(5, generate(v3("x"))[0]->getMaxConcurrentCommands());
}

TEST_F(Metalink2RequestGroupTest, SelectFileKeepsTheNamedPositions) {
  std::string files;
  for (int i = 1; i <= 5; ++i) {
    files += file("f" + std::to_string(i), "<url>http://h/" + std::to_string(i) + "</url>");
  }
  option_->put(PREF_SELECT_FILE, "2,4");
  auto groups = generate(v4(files));
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ("f2", groups[0]->getDownloadContext()->getFirstFileEntry()->getSuffixPath());
  EXPECT_EQ("f4", groups[1]->getDownloadContext()->getFirstFileEntry()->getSuffixPath());
  option_->put(PREF_SELECT_FILE, "9");
  EXPECT_TRUE(generate(v4(files)).empty());
  option_->remove(PREF_SELECT_FILE);
  option_->put(PREF_METALINK_VERSION, "9.9");
  EXPECT_TRUE(generate(v4(files)).empty());
}

TEST_F(Metalink2RequestGroupTest, FilesOfOneTorrentWaitForTheTorrentDownload) {
  const std::string torrent = "<metaurl mediatype=\"torrent\" name=\"d/";
  auto groups =
      generate(v4(file("plain", "<url>http://h/p</url>") +
                  file("a", "<size>100</size>" + torrent + "a\">http://t/x.torrent</metaurl>" +
                                "<url>http://h/a</url>") +
                  file("b", "<size>50</size>" + torrent + "b\">http://t/x.torrent</metaurl>" +
                                "<url>http://h/b</url>")));
  // The plain file, then the torrent, then the files that wait for it.
  ASSERT_EQ(3u, groups.size());
  EXPECT_EQ(1u, groups[0]->getDownloadContext()->getFileEntries().size());
  EXPECT_TRUE(groups[0]->isDependencyResolved());
  const auto& torrentDownload = *groups[1];
  EXPECT_EQ((std::vector<std::string>{"http://t/x.torrent"}), uris(torrentDownload));
  const auto& members = *groups[2];
  const auto& files = members.getDownloadContext()->getFileEntries();
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ(0, files[0]->getOffset());
  EXPECT_EQ(100, files[1]->getOffset());
  EXPECT_EQ("d/a", files[0]->getOriginalName());
  EXPECT_EQ((std::vector<std::string>{"http://h/b"}), files[1]->getUris());
  EXPECT_EQ(members.getGID(), torrentDownload.getBelongsTo());
  // All of them come from one document.
  EXPECT_EQ(groups[0]->getMetadataInfo(), torrentDownload.getMetadataInfo());
}

// The torrent only feeds the files' download: one connection, kept in
// memory, followed by nothing.
TEST_F(Metalink2RequestGroupTest, TorrentDownloadStaysInMemory) {
  auto groups = generate(v4(file("f", torrentOf("http://t/x.torrent") + "<url>http://h/f</url>")));
  ASSERT_EQ(2u, groups.size());
  auto& torrentDownload = *groups[0];
  EXPECT_EQ(1, torrentDownload.getMaxConcurrentCommands());
  EXPECT_TRUE(torrentDownload.inMemoryDownload());
  EXPECT_TRUE(torrentDownload.getPostDownloadHandlers().empty());
  EXPECT_EQ(
      std::vector<const PreDownloadHandler*>{download_handlers::getMemoryPreDownloadHandler()},
      torrentDownload.getPreDownloadHandlers());
  EXPECT_FALSE(torrentDownload.getDownloadContext()->getAcceptMetalink());
  // The file keeps its own description until the torrent is there.
  EXPECT_EQ((std::vector<std::string>{"http://h/f"}), uris(*groups[1]));
}

// With mirrors to fall back on, a stalled torrent download is given up after
// 30 seconds unless the user asked for less.
TEST_F(Metalink2RequestGroupTest, TorrentStopTimeoutFollowsTheMirrors) {
  struct Row {
    const char* userTimeout;
    bool mirrors;
    int expected;
  };
  const Row rows[] = {
      {"0", true, 30}, {"31", true, 30}, {"600", true, 30},   {"30", true, 30},
      {"1", true, 1},  {"0", false, 0},  {"600", false, 600},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.userTimeout) + (row.mirrors ? " mirrors" : " no mirrors"));
    option_->put(PREF_BT_STOP_TIMEOUT, row.userTimeout);
    auto groups = generate(v4(
        file("f", torrentOf("http://t/x.torrent") + (row.mirrors ? "<url>http://h/f</url>" : ""))));
    ASSERT_EQ(2u, groups.size());
    EXPECT_EQ(row.expected, groups[0]->getOption()->getAsInt(PREF_BT_STOP_TIMEOUT));
    // The user's own setting is not touched.
    EXPECT_EQ(row.userTimeout, groups[1]->getOption()->get(PREF_BT_STOP_TIMEOUT));
  }
}

TEST_F(Metalink2RequestGroupTest, FilesWaitWhileTheTorrentRunsThenFallBackToMirrors) {
  auto groups = generate(
      v4(file("f", "<size>10</size>" + torrentOf("http://t/x.torrent") + "<url>http://h/f</url>")));
  ASSERT_EQ(2u, groups.size());
  auto& torrentDownload = *groups[0];
  auto& fileDownload = *groups[1];
  const auto described = fileDownload.getDownloadContext();
  torrentDownload.increaseNumCommand();
  EXPECT_FALSE(fileDownload.isDependencyResolved());
  // The torrent download ends without its data: the mirrors alone remain.
  torrentDownload.decreaseNumCommand();
  EXPECT_TRUE(fileDownload.isDependencyResolved());
  EXPECT_EQ(described, fileDownload.getDownloadContext());
  EXPECT_FALSE(fileDownload.getDownloadContext()->hasAttribute(CTX_ATTR_BT));
}

TEST_F(Metalink2RequestGroupTest, FinishedTorrentDescribesTheFileUnderTheDocumentsPath) {
  auto groups =
      generate(v4(file("sub/mine.bin", torrentOf("http://t/x.torrent") + "<url>http://h/f</url>")));
  ASSERT_EQ(2u, groups.size());
  auto& torrentDownload = *groups[0];
  auto& fileDownload = *groups[1];
  // The torrent download fetches a torrent of one file of another name.
  auto root = test::withInfo(test::singleInfo("theirs.bin", 100));
  root->put("announce", "http://tracker/a");
  const std::string data = test::encode(root);
  fetchInMemory(torrentDownload, data);
  ASSERT_TRUE(fileDownload.isDependencyResolved());
  const auto& ctx = fileDownload.getDownloadContext();
  ASSERT_TRUE(ctx->hasAttribute(CTX_ATTR_BT));
  ASSERT_EQ(1u, ctx->getFileEntries().size());
  const auto& entry = ctx->getFirstFileEntry();
  EXPECT_EQ(util::applyDir(option_->get(PREF_DIR), "sub/mine.bin"), entry->getPath());
  EXPECT_EQ(std::deque<std::string>{"http://h/f"}, entry->getRemainingUris());
  EXPECT_TRUE(entry->isRequested());
}

TEST_F(Metalink2RequestGroupTest, MetaurlWithoutADownloadLeavesTheFileOnItsOwn) {
  for (const char* metaurl : {"no uri at all", "magnet:?xt=urn:btih:broken"}) {
    SCOPED_TRACE(metaurl);
    auto groups = generate(v4(file("f", torrentOf(metaurl) + "<url>http://h/f</url>")));
    ASSERT_EQ(1u, groups.size());
    EXPECT_TRUE(groups[0]->isDependencyResolved());
    EXPECT_EQ((std::vector<std::string>{"http://h/f"}), uris(*groups[0]));
  }
}

TEST_F(Metalink2RequestGroupTest, MagnetMetaurlFetchesTheTorrentsMetadata) {
  const std::string magnet = "magnet:?xt=urn:btih:" + std::string(40, 'a') + "&amp;dn=x";
  auto groups = generate(v4(file("f", torrentOf(magnet) + "<url>http://h/f</url>")));
  ASSERT_EQ(2u, groups.size());
  EXPECT_TRUE(groups[0]->getDownloadContext()->hasAttribute(CTX_ATTR_BT));
  EXPECT_TRUE(groups[0]->inMemoryDownload());
  EXPECT_EQ(groups[1]->getGID(), groups[0]->getBelongsTo());
}

TEST_F(Metalink2RequestGroupTest, TorrentGroupBeyondSixtyFourBitsFails) {
  const std::string big = "<size>9223372036854775000</size>";
  const std::string torrent = "<metaurl mediatype=\"torrent\" name=\"n\">http://t/x</metaurl>";
  EXPECT_THROW(generate(v4(file("a", big + torrent) + file("b", big + torrent))),
               DownloadFailureException);
}

TEST_F(Metalink2RequestGroupTest, DataGivenInMemoryHasNoSourceDocument) {
  Groups groups;
  metalink::createRequestGroupForMetalink(groups, option_, v4(file("m", "<url>http://h/m</url>")));
  ASSERT_EQ(1u, groups.size());
  ASSERT_TRUE(groups[0]->getMetadataInfo());
  EXPECT_TRUE(groups[0]->getMetadataInfo()->dataOnly());
}

}  // namespace quarn

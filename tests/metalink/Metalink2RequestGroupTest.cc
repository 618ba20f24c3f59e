#include "metalink/Metalink2RequestGroup.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/util_string.h"
#include "metalink/metalink_setup.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"

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

TEST_F(Metalink2RequestGroupTest, FilesOfOneTorrentBecomeOneDownloadFromTheirMirrors) {
  const std::string torrent = "<metaurl mediatype=\"torrent\" name=\"d/";
  auto groups =
      generate(v4(file("plain", "<url>http://h/p</url>") +
                  file("a", "<size>100</size>" + torrent + "a\">http://t/x.torrent</metaurl>" +
                                "<url>http://h/a</url>") +
                  file("b", "<size>50</size>" + torrent + "b\">http://t/x.torrent</metaurl>" +
                                "<url>http://h/b</url>")));
  // The torrent itself is not fetched: the files come from their mirrors.
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ(1u, groups[0]->getDownloadContext()->getFileEntries().size());
  const auto& files = groups[1]->getDownloadContext()->getFileEntries();
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ(0, files[0]->getOffset());
  EXPECT_EQ(100, files[1]->getOffset());
  EXPECT_EQ("d/a", files[0]->getOriginalName());
  EXPECT_EQ((std::vector<std::string>{"http://h/b"}), files[1]->getUris());
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

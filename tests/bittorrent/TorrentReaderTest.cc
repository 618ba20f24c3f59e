#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/util_string.h"

namespace quarn {
namespace {

using namespace quarn::test;

std::shared_ptr<DownloadContext> read(const std::string& doc,
                                      const std::vector<std::string>& uris = {},
                                      const std::string& defaultName = "default") {
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(doc, ctx, torrentOption(), uris, defaultName);
  return ctx;
}

std::unique_ptr<Dict> fileDict(int64_t length, std::unique_ptr<List> path,
                               const char* key = "path") {
  auto f = Dict::g();
  f->put("length", Integer::g(length));
  f->put(key, std::move(path));
  return f;
}

std::unique_ptr<Dict> multiInfo(const std::string& name, std::unique_ptr<List> files,
                                size_t pieces) {
  auto info = Dict::g();
  info->put("name", name);
  info->put("files", std::move(files));
  info->put("piece length", Integer::g(16384));
  info->put("pieces", pieceHashes(pieces));
  return info;
}

TEST(TorrentReaderTest, SingleFileFillsContextAndAttribute) {
  auto root = withInfo(singleInfo("a file", 40000));
  root->put("announce", "http://t/announce");
  root->put("comment", "plain");
  root->put("comment.utf-8", "utf8 comment");
  root->put("created by", "maker");
  root->put("creation date", Integer::g(1700000000));
  root->put("url-list", strings({"http://seed/dir/", "http://seed/file"}));
  auto ctx = read(encode(root), {"http://seed/file"});
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  EXPECT_EQ(BT_FILE_MODE_SINGLE, attrs->mode);
  EXPECT_EQ("a file", attrs->name);
  EXPECT_EQ(16384, ctx->getPieceLength());
  EXPECT_EQ(3u, ctx->getPieceHashes().size());
  EXPECT_EQ("sha-1", ctx->getPieceHashType());
  ASSERT_EQ(1u, ctx->getFileEntries().size());
  const auto& entry = ctx->getFirstFileEntry();
  EXPECT_EQ("/dl/a file", entry->getPath());
  EXPECT_EQ(40000, entry->getLength());
  EXPECT_EQ("a file", entry->getOriginalName());
  // A seed ending in "/" gets the encoded name; the caller's duplicate is used once.
  EXPECT_EQ((std::vector<std::string>{"http://seed/dir/a%20file", "http://seed/file"}),
            entry->getUris());
  EXPECT_EQ((std::vector<std::string>{"http://seed/dir/", "http://seed/file"}), attrs->urlList);
  EXPECT_EQ("utf8 comment", attrs->comment);
  EXPECT_EQ("maker", attrs->createdBy);
  EXPECT_EQ(1700000000, attrs->creationDate);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"http://t/announce"}}), attrs->announceList);
  EXPECT_EQ(bencode2::encode(root->get("info")), attrs->metadata);
  EXPECT_EQ(attrs->metadata.size(), attrs->metadataSize);
  EXPECT_EQ(40u, bittorrent::getInfoHashString(ctx).size());
}

TEST(TorrentReaderTest, MultiFileWithNestedDirectories) {
  auto files = List::g();
  files->append(fileDict(10000, strings({"x", "y z"})));
  files->append(fileDict(20000, strings({"sub/dir", "f"})));
  files->append(String::g("not a dictionary"));
  auto root = withInfo(multiInfo("d", std::move(files), 2));
  root->put("url-list", "http://seed");
  auto ctx = read(encode(root));
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  EXPECT_EQ(BT_FILE_MODE_MULTI, attrs->mode);
  ASSERT_EQ(2u, ctx->getFileEntries().size());
  const auto& first = ctx->getFileEntries()[0];
  EXPECT_EQ("/dl/d/x/y z", first->getPath());
  EXPECT_EQ("d/x/y z", first->getOriginalName());
  EXPECT_EQ("d/x/y z", first->getSuffixPath());
  EXPECT_EQ(std::vector<std::string>{"http://seed/d/x/y%20z"}, first->getUris());
  const auto& second = ctx->getFileEntries()[1];
  EXPECT_EQ("/dl/d/sub/dir/f", second->getPath());
  EXPECT_EQ(10000, second->getOffset());
  EXPECT_EQ("/dl/d", ctx->getBasePath());
  EXPECT_EQ(30000, ctx->getTotalLength());
}

TEST(TorrentReaderTest, Utf8KeysWinAndNonUtf8NamesAreEncoded) {
  auto files = List::g();
  files->append(fileDict(5, strings({"\xff"}), "path.utf-8"));
  auto info = multiInfo("ignored", std::move(files), 1);
  info->put("name.utf-8", "\xc3\xa9t\xc3\xa9");
  auto ctx = read(encode(withInfo(std::move(info))));
  EXPECT_EQ("\xc3\xa9t\xc3\xa9", bittorrent::getTorrentAttrs(ctx)->name);
  EXPECT_EQ("/dl/\xc3\xa9t\xc3\xa9/%FF", ctx->getFirstFileEntry()->getPath());

  auto single = read(encode(withInfo(singleInfo("\xfe\x41", 1))));
  EXPECT_EQ("%FEA", bittorrent::getTorrentAttrs(single)->name);
}

TEST(TorrentReaderTest, TrackersNodesAndPrivateFlag) {
  auto info = singleInfo("f", 1);
  info->put("private", Integer::g(1));
  auto root = withInfo(std::move(info));
  auto tiers = List::g();
  tiers->append(List::g());
  tiers->append(strings({"  http://a/ann \r\n", "http://b/ann"}));
  root->put("announce-list", std::move(tiers));
  root->put("announce", "http://ignored/");
  auto nodes = List::g();
  auto good = List::g();
  good->append(String::g("router.example"));
  good->append(Integer::g(6881));
  nodes->append(std::move(good));
  for (int64_t port : {0, 65536}) {
    auto bad = List::g();
    bad->append(String::g("h"));
    bad->append(Integer::g(port));
    nodes->append(std::move(bad));
  }
  auto blank = List::g();
  blank->append(String::g("  "));
  blank->append(Integer::g(1));
  nodes->append(std::move(blank));
  root->put("nodes", std::move(nodes));
  auto ctx = read(encode(root));
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  EXPECT_TRUE(attrs->privateTorrent);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"http://a/ann", "http://b/ann"}}),
            attrs->announceList);
  ASSERT_EQ(1u, attrs->nodes.size());
  EXPECT_EQ("router.example", attrs->nodes[0].first);
  EXPECT_EQ(6881, attrs->nodes[0].second);
}

TEST(TorrentReaderTest, OddValuesThatAreStillAccepted) {
  // "private" as a string, trailing bytes of "pieces", a useless
  // announce-list without fallback, a missing name.
  auto info = singleInfo("f", 20000);
  info->put("pieces", std::string(45, 'p'));
  info->put("private", "1");
  info->removeKey("name");
  auto root = withInfo(std::move(info));
  root->put("announce-list", List::g());
  root->put("announce", "http://not-used/");
  auto ctx = read(encode(root), {}, "/some/dir/foo.torrent");
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  EXPECT_FALSE(attrs->privateTorrent);
  EXPECT_TRUE(attrs->announceList.empty());
  EXPECT_EQ("foo.torrent.file", attrs->name);
  EXPECT_EQ(2u, ctx->getPieceHashes().size());
}

TEST(TorrentReaderTest, EmptyFilesListNeedsNoPieces) {
  auto ctx = read(encode(withInfo(multiInfo("d", List::g(), 0))));
  EXPECT_TRUE(ctx->getFileEntries().empty());
  EXPECT_EQ(0, ctx->getTotalLength());
}

TEST(TorrentReaderTest, ReadsFromFile) {
  TempDir dir;
  const std::string path = dir.file("t.torrent");
  std::ofstream(path, std::ios::binary) << encode(withInfo(singleInfo("f", 1)));
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::load(path, ctx, torrentOption());
  EXPECT_EQ("f", bittorrent::getTorrentAttrs(ctx)->name);

  auto missing = std::make_shared<DownloadContext>();
  try {
    bittorrent::load(dir.file("absent.torrent"), missing, torrentOption());
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("torrent file does not contain a root dictionary.", std::string(e.what()));
    EXPECT_EQ(error_code::BITTORRENT_PARSE_ERROR, e.getErrorCode());
  }
  EXPECT_FALSE(missing->hasAttribute(CTX_ATTR_BT));
}

struct BadTorrent {
  const char* what;
  std::string doc;
  std::string message;
};

std::string withInfoKey(const char* key, std::unique_ptr<ValueBase> value, int64_t length = 1) {
  auto info = singleInfo("f", length);
  info->put(key, std::move(value));
  return encode(withInfo(std::move(info)));
}

std::string withoutInfoKey(const char* key) {
  auto info = singleInfo("f", 1);
  info->removeKey(key);
  return encode(withInfo(std::move(info)));
}

std::string multiWithPath(std::unique_ptr<ValueBase> path, const std::string& name = "d") {
  auto files = List::g();
  auto f = Dict::g();
  f->put("length", Integer::g(1));
  if (path) {
    f->put("path", std::move(path));
  }
  files->append(std::move(f));
  return encode(withInfo(multiInfo(name, std::move(files), 1)));
}

std::unique_ptr<List> listOf(std::unique_ptr<ValueBase> a) {
  auto l = List::g();
  l->append(std::move(a));
  return l;
}

TEST(TorrentReaderTest, RefusesUnusableDocuments) {
  const BadTorrent cases[] = {
      {"list root", "le", "torrent file does not contain a root dictionary."},
      {"no info", "d3:fooi1ee", "Missing info in torrent metainfo."},
      {"info not a dict", "d4:infoi1ee", "Missing info in torrent metainfo."},
      {"no pieces", withoutInfoKey("pieces"), "Missing pieces in torrent metainfo."},
      {"no piece length", withoutInfoKey("piece length"),
       "Missing piece length in torrent metainfo."},
      {"negative piece length", withInfoKey("piece length", Integer::g(-1)),
       "piece length does not allow negative integer -1"},
      {"zero piece length", withInfoKey("piece length", Integer::g(0)),
       "piece length must be from 1 to 2147483647, not 0"},
      {"huge piece length", withInfoKey("piece length", Integer::g(2147483648LL)),
       "piece length must be from 1 to 2147483647, not 2147483648"},
      {"no length", withoutInfoKey("length"), "Missing length in torrent metainfo."},
      {"negative length", withInfoKey("length", Integer::g(-5)),
       "length does not allow negative integer -5"},
      {"too many hashes", withInfoKey("pieces", String::g(pieceHashes(2))),
       "Too few/many piece hash."},
      {"too few hashes", withInfoKey("pieces", String::g(pieceHashes(1)), 16385),
       "Too few/many piece hash."},
      {"name dot", withInfoKey("name", String::g(".")),
       "Detected directory traversal directive in ."},
      {"name dotdot", withInfoKey("name", String::g("..")),
       "Detected directory traversal directive in .."},
      {"absolute name", withInfoKey("name", String::g("/etc/passwd")),
       "Detected directory traversal directive in /etc/passwd"},
      {"path dotdot", multiWithPath(strings({".."})),
       "Detected directory traversal directive in d/.."},
      {"path ends dotdot", multiWithPath(strings({"a", ".."})),
       "Detected directory traversal directive in d/a/.."},
      {"path inner dotdot", multiWithPath(strings({"../../etc"})),
       "Detected directory traversal directive in d/../../etc"},
      {"path empty element", multiWithPath(strings({"a", ""})),
       "Detected directory traversal directive in d/a/"},
      {"multi name dot", multiWithPath(strings({"a"}), "."),
       "Detected directory traversal directive in ."},
      {"no path", multiWithPath(nullptr), "Path is empty."},
      {"empty path", multiWithPath(List::g()), "Path is empty."},
      {"path not a list", multiWithPath(String::g("a")), "Path is empty."},
      {"path element integer", multiWithPath(listOf(Integer::g(1))), "Path element is not string."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto ctx = std::make_shared<DownloadContext>();
    try {
      bittorrent::loadFromMemory(c.doc, ctx, torrentOption(), "default");
      ADD_FAILURE() << "accepted";
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(c.message, std::string(e.what()));
      EXPECT_EQ(error_code::BITTORRENT_PARSE_ERROR, e.getErrorCode());
    }
    EXPECT_FALSE(ctx->hasAttribute(CTX_ATTR_BT));
  }
}

TEST(TorrentReaderTest, NonBencodeBufferAndOverflowingOffsets) {
  auto ctx = std::make_shared<DownloadContext>();
  try {
    bittorrent::loadFromMemory("d4:info", ctx, torrentOption(), "default");
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(error_code::BENCODE_PARSE_ERROR, e.getErrorCode());
  }
  auto files = List::g();
  files->append(fileDict(INT64_MAX, strings({"a"})));
  files->append(fileDict(1, strings({"b"})));
  const std::string doc = encode(withInfo(multiInfo("d", std::move(files), 1)));
  try {
    bittorrent::loadFromMemory(doc, ctx, torrentOption(), "default");
    FAIL();
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ("Too large file size. size=9223372036854775807", std::string(e.what()));
  }
}

}  // namespace
}  // namespace quarn

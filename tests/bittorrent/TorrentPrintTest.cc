#include <gtest/gtest.h>

#include "bittorrent/TorrentFixture.h"
#include "bittorrent/torrent_print.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/StringOutputFile.h"
#include "foundation/util_string.h"

namespace quarn {
namespace {

using namespace quarn::test;

TEST(TorrentPrintTest, DescribesEverythingTheTorrentSays) {
  auto root = withInfo(singleInfo("my file", 40000));
  root->put("comment", "hello");
  root->put("created by", "maker 1");
  root->put("creation date", Integer::g(0x12345678));
  auto tiers = List::g();
  tiers->append(strings({"http://a/1", "http://a/2"}));
  tiers->append(strings({"udp://b:1"}));
  root->put("announce-list", std::move(tiers));
  root->put("url-list", "http://seed/");
  auto node = List::g();
  node->append(String::g("router"));
  node->append(Integer::g(6881));
  auto nodes = List::g();
  nodes->append(std::move(node));
  root->put("nodes", std::move(nodes));
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(encode(root), ctx, torrentOption("/dl"), "default");
  const std::string hash = bittorrent::getInfoHashString(ctx);

  StringOutputFile out;
  bittorrent::print(out, *ctx);
  const std::string expected =
      "*** BitTorrent File Information ***\n"
      "Comment: hello\n"
      "Creation Date: Wed, 05 Sep 1979 22:51:36 GMT\n"
      "Created By: maker 1\n"
      "Mode: single\n"
      "Announce:\n"
      " http://a/1 http://a/2\n"
      " udp://b:1\n"
      "Info Hash: " +
      hash +
      "\n"
      "Piece Length: 16KiB\n"
      "The Number of Pieces: 3\n"
      "Total Length: 39KiB (40,000)\n"
      "URL List:\n"
      " http://seed/\n"
      "Nodes:\n"
      " router:6881\n"
      "Name: my file\n"
      "Magnet URI: magnet:?xt=urn:btih:" +
      util::toUpper(hash) +
      "&dn=my%20file&tr=http%3A%2F%2Fa%2F1&tr=http%3A%2F%2Fa%2F2&tr=udp%3A%2F%2Fb%3A1\n";
  EXPECT_EQ(expected, out.text.substr(0, expected.size()));
  EXPECT_NE(std::string::npos, out.text.find("|/dl/my file\n"));
}

TEST(TorrentPrintTest, LeavesOutWhatTheTorrentDoesNotSay) {
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(encode(withInfo(singleInfo("f", 1))), ctx, torrentOption(), "default");
  StringOutputFile out;
  bittorrent::print(out, *ctx);
  for (const char* absent : {"Comment:", "Creation Date:", "Created By:", "URL List:", "Nodes:"}) {
    EXPECT_EQ(std::string::npos, out.text.find(absent)) << absent;
  }
  EXPECT_NE(std::string::npos, out.text.find("Announce:\nInfo Hash: "));
}

}  // namespace
}  // namespace quarn

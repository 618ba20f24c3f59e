#include <gtest/gtest.h>

#include <cstring>

#include "bittorrent/TorrentFixture.h"
#include "bittorrent/announce_uri.h"
#include "bittorrent/magnet.h"
#include "bittorrent/peer_identity.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/util_string.h"

namespace quarn {
namespace {

using namespace quarn::test;

const std::string HEX = "248d0a1cd08284299de78d5c1ed359bb46717d8c";
// The same 20 bytes in Base32.
const std::string B32 = "ESGQUHGQQKCCTHPHRVOB5U2ZXNDHC7MM";

struct MagnetCase {
  const char* what;
  std::string uri;
  std::string name;
  std::vector<std::vector<std::string>> trackers;
};

TEST(MagnetTest, ReadsHashesTrackersAndNames) {
  const MagnetCase cases[] = {
      {"hex", "magnet:?xt=urn:btih:" + HEX, "[METADATA]" + HEX, {}},
      {"upper hex", "magnet:?xt=urn:btih:" + util::toUpper(HEX), "[METADATA]" + HEX, {}},
      {"base32 after a foreign xt",
       "magnet:?xt=urn:sha1:XYZ&xt=urn:btih:" + B32 + "&dn=my%20file",
       "[METADATA]my file",
       {}},
      {"two trackers, empty items",
       "magnet:?&&xt=urn:btih:" + HEX + "&tr=http%3A%2F%2Fa%2Fann&tr=udp://b:80&",
       "[METADATA]" + HEX,
       {{"http://a/ann"}, {"udp://b:80"}}},
      {"bad hex skipped for a later good one",
       "magnet:?xt=urn:btih:" + HEX.substr(0, 39) + "g&xt=urn:btih:" + HEX + "&dn=",
       "[METADATA]" + HEX,
       {}},
      {"value keeps second =", "magnet:?xt=urn:btih:" + HEX + "&dn=a=b", "[METADATA]a=b", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto attrs = bittorrent::parseMagnet(c.uri);
    EXPECT_EQ(HEX, util::toHex(attrs->infoHash));
    EXPECT_EQ(c.name, attrs->name);
    EXPECT_EQ(c.trackers, attrs->announceList);
    EXPECT_TRUE(attrs->metadata.empty());
  }
}

TEST(MagnetTest, RefusesUnusableUris) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://example/", "Bad BitTorrent Magnet URI."},
      {"magnet:?dn=x", "Missing xt parameter in Magnet URI."},
      {"magnet:?xt=URN:BTIH:" + HEX,
       "Bad BitTorrent Magnet URI. No valid BitTorrent Info Hash found."},
      {"magnet:?xt=urn:btih:" + HEX.substr(1),
       "Bad BitTorrent Magnet URI. No valid BitTorrent Info Hash found."},
      {"magnet:?xt=urn:btih:" + HEX + "0",
       "Bad BitTorrent Magnet URI. No valid BitTorrent Info Hash found."},
      {"magnet:?xt=urn:btih:" + B32.substr(0, 31) + "1",
       "Bad BitTorrent Magnet URI. No valid BitTorrent Info Hash found."},
  };
  for (const auto& [uri, message] : cases) {
    SCOPED_TRACE(uri);
    try {
      bittorrent::parseMagnet(uri);
      ADD_FAILURE() << "accepted";
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(message, std::string(e.what()));
      EXPECT_EQ(error_code::MAGNET_PARSE_ERROR, e.getErrorCode());
    }
  }
  EXPECT_EQ(nullptr, magnet::parse("magnet:"));
}

TEST(MagnetTest, TorrentToMagnetAndBack) {
  auto root = withInfo(singleInfo("a b", 1));
  root->put("announce", "http://t/ann");
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(encode(root), ctx, torrentOption(), "default");
  auto* attrs = bittorrent::getTorrentAttrs(ctx);
  const std::string uri = bittorrent::torrent2Magnet(attrs);
  EXPECT_EQ("magnet:?xt=urn:btih:" + util::toUpper(util::toHex(attrs->infoHash)) +
                "&dn=a%20b&tr=http%3A%2F%2Ft%2Fann",
            uri);
  auto magnetCtx = std::make_shared<DownloadContext>();
  bittorrent::loadMagnet(uri, magnetCtx);
  auto* back = bittorrent::getTorrentAttrs(magnetCtx);
  EXPECT_EQ(attrs->infoHash, back->infoHash);
  EXPECT_EQ("[METADATA]a b", back->name);
  EXPECT_EQ(attrs->announceList, back->announceList);
  EXPECT_EQ("", bittorrent::torrent2Magnet(&*std::make_unique<TorrentAttribute>()));

  // The document made from fetched metadata reads back as the same torrent.
  const std::string doc = bittorrent::metadata2Torrent(attrs->metadata, back);
  EXPECT_EQ("d13:announce-listll12:http://t/annee4:info" + attrs->metadata + "e", doc);
  auto again = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(doc, again, torrentOption(), "default");
  EXPECT_EQ(attrs->infoHash, bittorrent::getTorrentAttrs(again)->infoHash);
  TorrentAttribute noTrackers;
  EXPECT_EQ("d4:info" + attrs->metadata + "e",
            bittorrent::metadata2Torrent(attrs->metadata, &noTrackers));
}

TEST(MagnetTest, AdjustsTrackersByOptions) {
  TorrentAttribute attrs;
  attrs.announceList = {{"u1", "u2"}, {"u2"}, {"u3"}};
  Option option;
  option.put(PREF_BT_EXCLUDE_TRACKER, " u2 ,, u4");
  option.put(PREF_BT_TRACKER, "u2,u5");
  bittorrent::adjustAnnounceUri(&attrs, option);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"u1"}, {"u3"}, {"u2"}, {"u5"}}),
            attrs.announceList);
  option.put(PREF_BT_EXCLUDE_TRACKER, "*");
  option.put(PREF_BT_TRACKER, "a,b");
  bittorrent::adjustAnnounceUri(&attrs, option);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"a"}, {"b"}}), attrs.announceList);
}

TEST(MagnetTest, PeerIdsAreTwentyBytes) {
  EXPECT_EQ(std::string("0123456789abcdefghij"),
            bittorrent::generatePeerId("0123456789abcdefghijKLMNO"));
  const std::string withPrefix = bittorrent::generatePeerId("QN-1-37-0-");
  EXPECT_EQ(20u, withPrefix.size());
  EXPECT_EQ("QN-1-37-0-", withPrefix.substr(0, 10));
  EXPECT_EQ(20u, bittorrent::generatePeerId("").size());
  bittorrent::setStaticPeerId("short");
  EXPECT_EQ(0, std::memcmp("short", bittorrent::getStaticPeerId(), 5));
  bittorrent::setStaticPeerAgent("agent/1");
  EXPECT_EQ("agent/1", bittorrent::generateStaticPeerAgent("other"));
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include <netinet/in.h>

#include <cstring>

#include "TempDir.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DefaultBtAnnounce.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TrackerResponseWriter.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/peer_identity.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Randomizer.h"
#include "foundation/wallclock.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;

struct FixedRandomizer : Randomizer {
  int64_t getRandomNumber(int64_t to) override { return to - 1; }
};

// A torrent of two pieces with its announcer, nothing downloaded yet.
class AnnounceTest : public ::testing::Test {
 protected:
  explicit AnnounceTest(std::vector<std::vector<std::string>> tiers = {{"http://tracker/announce"}})
      : download(dir.file("data"), 1024, 2048),
        runtime(std::make_shared<BtRuntime>()),
        peers(std::make_shared<FakePeerStorage>()) {
    auto attrs = std::make_shared<TorrentAttribute>();
    attrs->infoHash = std::string(20, '\x01');
    attrs->announceList = std::move(tiers);
    download.ctx->setAttribute(CTX_ATTR_BT, attrs);
    bittorrent::setStaticPeerId("-QN0000-abcdefghijkl");
    global::wallclock() = Timer();
    announce = std::make_unique<DefaultBtAnnounce>(download.ctx.get(), download.option.get());
    announce->setBtRuntime(runtime);
    announce->setPieceStorage(download.storage);
    announce->setPeerStorage(peers);
    announce->setRandomizer(&randomizer);
  }

  void finishDownload() {
    for (size_t i = 0; i < 2; ++i) {
      auto piece = download.storage->getPiece(i);
      piece->setAllBlock();
      download.storage->completePiece(piece);
    }
  }

  void reply(const std::string& body) {
    announce->processAnnounceResponse(reinterpret_cast<const unsigned char*>(body.data()),
                                      body.size());
  }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<BtRuntime> runtime;
  std::shared_ptr<FakePeerStorage> peers;
  FixedRandomizer randomizer;
  std::unique_ptr<DefaultBtAnnounce> announce;
};

const std::string QUERY =
    "info_hash=%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01%01"
    "&peer_id=-QN0000-abcdefghijkl&uploaded=0&downloaded=0&left=2048&compact=1"
    "&key=efghijkl&numwant=50&no_peer_id=1";

TEST_F(AnnounceTest, FirstAnnounceIsDueAtOnceAndStarts) {
  EXPECT_TRUE(announce->isAnnounceReady());
  announce->setTcpPort(6881);
  EXPECT_EQ("http://tracker/announce?" + QUERY + "&port=6881&event=started&supportcrypto=1",
            announce->getAnnounceUrl());
  announce->announceStart();
  EXPECT_FALSE(announce->isAnnounceReady());
  EXPECT_EQ("", announce->getAnnounceUrl());
  announce->announceSuccess();
  announce->resetAnnounce();
  EXPECT_FALSE(announce->isAnnounceReady());
  // The tracker's minimum interval later, the next plain announce is due.
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::seconds(120));
  EXPECT_TRUE(announce->isAnnounceReady());
  EXPECT_EQ(std::string::npos, announce->getAnnounceUrl().find("&event="));
}

class QueryTrackerTest : public AnnounceTest {
 protected:
  QueryTrackerTest() : AnnounceTest({{"http://tracker/a?key=v"}}) {}
};

TEST_F(QueryTrackerTest, OptionsAndTrackerIdShapeTheUrl) {
  download.option->put(PREF_BT_REQUIRE_CRYPTO, "true");
  download.option->put(PREF_BT_EXTERNAL_IP, "2001:db8::1");
  reply("d10:tracker id3:a/be");
  EXPECT_EQ("http://tracker/a?key=v&" + QUERY +
                "&event=started&trackerid=a%2Fb&requirecrypto=1&ip=2001:db8::1",
            announce->getAnnounceUrl());
  auto udp = announce->createUDPTrackerRequest("127.0.0.1", 80, 6881);
  EXPECT_EQ(0u, udp->ip);  // not IPv4
}

TEST_F(AnnounceTest, CompleteDataStartsAsSeederWithoutCompletedEvent) {
  finishDownload();
  EXPECT_NE(std::string::npos, announce->getAnnounceUrl().find("&left=0&"));
  EXPECT_EQ(AnnounceTier::STARTED_AFTER_COMPLETION, announce->getAnnounceList().getEvent());
  announce->announceSuccess();
  EXPECT_EQ(AnnounceTier::SEEDING, announce->getAnnounceList().getEvent());
  EXPECT_FALSE(announce->isCompletedAnnounceReady());
}

TEST_F(AnnounceTest, FinishedDownloadAnnouncesCompletedThenHaltStops) {
  announce->getAnnounceUrl();
  announce->announceSuccess();
  announce->resetAnnounce();
  finishDownload();
  EXPECT_NE(std::string::npos, announce->getAnnounceUrl().find("&event=completed"));
  announce->announceSuccess();
  EXPECT_FALSE(announce->isCompletedAnnounceReady());
  runtime->setHalt(true);
  EXPECT_FALSE(announce->noMoreAnnounce());
  // Seeding tiers still hear of the stop; a halting torrent wants no peers.
  const std::string url = announce->getAnnounceUrl();
  EXPECT_NE(std::string::npos, url.find("&event=stopped"));
  EXPECT_NE(std::string::npos, url.find("&numwant=0&"));
  announce->announceSuccess();
  EXPECT_TRUE(announce->noMoreAnnounce());
}

TEST_F(AnnounceTest, UserIntervalOverridesTheTrackers) {
  announce->setUserDefinedInterval(std::chrono::seconds(300));
  announce->getAnnounceUrl();
  announce->announceSuccess();
  announce->resetAnnounce();
  reply("d8:intervali10e12:min intervali5ee");
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::seconds(299));
  EXPECT_FALSE(announce->isAnnounceReady());
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::seconds(1));
  EXPECT_TRUE(announce->isAnnounceReady());
}

TEST_F(AnnounceTest, RepliesSetIntervalsCountsAndPeers) {
  struct Row {
    const char* body;
    int interval, minInterval;
  };
  const Row rows[] = {
      {"de", 120, 120},
      {"d8:intervali1800e12:min intervali3600ee", 1800, 1800},
      {"d8:intervali1800e12:min intervali60ee", 1800, 60},
      {"d12:min intervali0ee", 1800, 1800},
      {"d8:intervali-5e12:min interval1:xe", 1800, 1800},
  };
  for (const auto& row : rows) {
    reply(row.body);
    EXPECT_EQ(row.interval, announce->getInterval().count()) << row.body;
    EXPECT_EQ(row.minInterval, announce->getMinInterval().count()) << row.body;
  }
  // Compact IPv4 (12 bytes: two peers), a 13-byte list (ignored), the
  // dictionary model with bad ports skipped, compact IPv6.
  std::string compact4("\x7f\x00\x00\x01\x1a\xe1\x0a\x00\x00\x02\x00\x50", 12);
  std::string compact6(16, '\0');
  compact6[15] = 1;
  compact6 += std::string("\x00\x51", 2);
  reply("d8:completei3e10:incompletei4e5:peers12:" + compact4 + "6:peers618:" + compact6 + "e");
  EXPECT_EQ(3, announce->getComplete());
  EXPECT_EQ(4, announce->getIncomplete());
  std::vector<std::string> seen;
  for (const auto& p : peers->added) {
    seen.push_back(p->getIPAddress() + ":" + std::to_string(p->getPort()));
  }
  EXPECT_EQ((std::vector<std::string>{"127.0.0.1:6881", "10.0.0.2:80", "::1:81"}), seen);
  peers->added.clear();
  reply("d5:peers13:" + compact4 + "xe");
  reply("d5:peersld2:ip4:host4:porti80eed2:ip1:a4:porti0eed2:ip1:b4:porti65536eeee");
  ASSERT_EQ(1u, peers->added.size());
  EXPECT_EQ("host", peers->added[0]->getIPAddress());
}

TEST_F(AnnounceTest, HaltingTorrentTakesNoPeers) {
  runtime->setHalt(true);
  reply(std::string("d5:peers6:\x7f\x00\x00\x01\x1a\xe1", 16) + "e");
  EXPECT_TRUE(peers->added.empty());
}

TEST_F(AnnounceTest, UnusableRepliesFailTheAnnounce) {
  const std::pair<std::string, const char*> cases[] = {
      {"le", "Tracker returned null data."},
      {"", "Tracker returned null data."},
      {"d14:failure reason6:bannede", "Tracker returned failure reason: banned"},
      {"d8:interval", "Bencode decoding failed"},
      {"d3:bar" + std::string(BtAnnounce::MAX_RESPONSE_LENGTH, 'x') + "e",
       "Tracker response is too large: 4194311 bytes, at most 4194304 are accepted."},
  };
  for (const auto& [body, message] : cases) {
    try {
      reply(body);
      ADD_FAILURE() << message;
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(0u, std::string(e.what()).rfind(message, 0)) << e.what();
    }
  }
}

TEST_F(AnnounceTest, UdpRequestFill) {
  download.option->put(PREF_BT_EXTERNAL_IP, "192.0.2.7");
  auto req = announce->createUDPTrackerRequest("10.0.0.9", 6969, 6881);
  ASSERT_TRUE(req);
  EXPECT_EQ("10.0.0.9", req->remoteAddr);
  EXPECT_EQ(6969, req->remotePort);
  EXPECT_EQ(UDPT_ACT_ANNOUNCE, req->action);
  EXPECT_EQ(std::string(20, '\x01'), std::string(req->infohash.begin(), req->infohash.end()));
  EXPECT_EQ("-QN0000-abcdefghijkl", std::string(req->peerId.begin(), req->peerId.end()));
  EXPECT_EQ(2048, req->left);
  EXPECT_EQ(UDPT_EVT_STARTED, req->event);
  const unsigned char ip[] = {192, 0, 2, 7};
  EXPECT_EQ(0, std::memcmp(ip, &req->ip, 4));
  EXPECT_EQ(2147483646u, req->key);
  EXPECT_EQ(50, req->numWant);
  EXPECT_EQ(6881, req->port);

  req->reply = std::make_shared<UDPTrackerReply>();
  req->reply->interval = 900;
  req->reply->seeders = 5;
  req->reply->leechers = 6;
  req->reply->peers = {{"10.0.0.1", 1}, {"10.0.0.2", 2}};
  announce->processUDPTrackerResponse(req);
  EXPECT_EQ(900, announce->getMinInterval().count());
  EXPECT_EQ(900, announce->getInterval().count());
  EXPECT_EQ(5, announce->getComplete());
  EXPECT_EQ(2u, peers->added.size());

  announce->announceStart();
  EXPECT_EQ(nullptr, announce->createUDPTrackerRequest("10.0.0.9", 6969, 6881));
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

TEST(TrackerResponseWriterTest, RefusesAnAnswerLargerThanAnyTrackerSends) {
  TrackerResponseWriter writer;
  std::vector<uint8_t> chunk(1024 * 1024, 'x');
  for (int64_t i = 0; i < 4; ++i) {
    writer.writeData(chunk.data(), chunk.size(), i * 1024 * 1024);
  }
  EXPECT_EQ(4 * 1024 * 1024, writer.size());
  EXPECT_THROW(writer.writeData(chunk.data(), 1, 4 * 1024 * 1024), DlAbortEx);
  EXPECT_THROW(writer.writeData(chunk.data(), 1, -1), DlAbortEx);
  EXPECT_EQ(4 * 1024 * 1024, writer.size());
}

}  // namespace
}  // namespace quarn

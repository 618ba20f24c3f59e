#include <gtest/gtest.h>

#include <chrono>

#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/UTPexExtensionMessage.h"
#include "foundation/wallclock.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

// Literal bytes, NULs included.
template <size_t N>
std::string bin(const char (&s)[N]) {
  return std::string(s, N - 1);
}

std::shared_ptr<Peer> peerAt(const std::string& addr, uint16_t port, bool incoming = false) {
  return std::make_shared<Peer>(addr, port, incoming);
}

std::unique_ptr<UTPexExtensionMessage> parse(const std::string& bencoded) {
  const std::string data = "\x08" + bencoded;
  return UTPexExtensionMessage::create(reinterpret_cast<const unsigned char*>(data.data()),
                                       data.size());
}

TEST(PeerExchangeTest, PayloadListsRecentListeningPeersByFamilyWithSeederFlags) {
  UTPexExtensionMessage m(3);
  auto seeder = peerAt("192.168.0.1", 6881);
  seeder->allocateSessionResource(16384, 16384);
  seeder->setAllBitfield();
  ASSERT_TRUE(seeder->isSeeder());
  EXPECT_TRUE(m.addFreshPeer(seeder));
  EXPECT_TRUE(m.addFreshPeer(peerAt("10.0.0.2", 258)));
  EXPECT_TRUE(m.addFreshPeer(peerAt("::1", 6882)));
  EXPECT_TRUE(m.addFreshPeer(peerAt("not.numeric", 1)));  // taken, but has no compact form
  // A peer that connected to us: its port is not where it listens.
  EXPECT_FALSE(m.addFreshPeer(peerAt("10.0.0.3", 40000, true)));
  auto stale = peerAt("10.0.0.4", 1);
  stale->setFirstContactTime(Timer(global::wallclock().getTime() - 60s));
  EXPECT_FALSE(m.addFreshPeer(stale));
  auto recent = peerAt("10.0.0.5", 1);
  recent->setFirstContactTime(Timer(global::wallclock().getTime() - 59s));
  EXPECT_TRUE(m.addFreshPeer(recent));
  auto dropped = peerAt("10.0.0.6", 80);
  dropped->startDrop();
  EXPECT_TRUE(m.addDroppedPeer(dropped));
  EXPECT_FALSE(m.addDroppedPeer(peerAt("10.0.0.7", 80, true)));
  const std::string expected =
      bin("d5:added18:\xc0\xa8\x00\x01\x1a\xe1\x0a\x00\x00\x02\x01\x02\x0a\x00\x00\x05\x00\x01") +
      bin("7:added.f3:\x02\x00\x00") + "6:added618:" + std::string(15, '\0') + "\x01\x1a\xe2" +
      bin("8:added6.f1:\x00") + bin("7:dropped6:\x0a\x00\x00\x06\x00\x50") + "e";
  EXPECT_EQ(expected, m.getPayload());
  EXPECT_EQ("ut_pex added=5, dropped=1", m.toString());
  EXPECT_EQ("de", UTPexExtensionMessage(3).getPayload());
}

TEST(PeerExchangeTest, SenderStopsAtFiftyPeers) {
  UTPexExtensionMessage m(3);
  for (int i = 0; i < 70 && !m.freshPeersAreFull(); ++i) {
    m.addFreshPeer(peerAt("10.0.1." + std::to_string(i), 1));
  }
  EXPECT_EQ(50u, m.getFreshPeers().size());
}

TEST(PeerExchangeTest, ReceivedListsAreReadLikeTrackerPeersAndAllReachTheStorage) {
  struct Case {
    std::string payload;
    size_t fresh;
    size_t dropped;
  } cases[] = {
      {bin("d5:added12:\x7f\x00\x00\x01\x1a\xe1\x7f\x00\x00\x02\x1a\xe2"
           "e"),
       2, 0},
      {bin("d5:added13:\x7f\x00\x00\x01\x1a\xe1\x7f\x00\x00\x02\x1a\xe2\x00"
           "e"),
       0, 0},
      {"d5:addedli1eee", 0, 0},
      {"d6:added618:" + std::string(15, '\0') +
           bin("\x01\x1a\xe1"
               "7:dropped6:\x7f\x00\x00\x01\x1a\xe1"
               "e"),
       1, 1},
      {"i42e", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload);
    auto m = parse(c.payload);
    EXPECT_EQ(c.fresh, m->getFreshPeers().size());
    EXPECT_EQ(c.dropped, m->getDroppedPeers().size());
  }
  std::string many;
  for (int i = 0; i < 200; ++i) {
    many += std::string{10, 0, static_cast<char>(i / 256), static_cast<char>(i % 256), 0x1a, 0x1};
  }
  auto m = parse("d5:added" + std::to_string(many.size()) + ":" + many + "e");
  test::FakePeerStorage storage;
  m->setPeerStorage(&storage);
  m->doReceivedAction();
  EXPECT_EQ(200u, storage.added.size());
  EXPECT_EQ("10.0.0.199", storage.added.back()->getIPAddress());
  EXPECT_EQ(6657, storage.added.back()->getPort());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bittorrent/Peer.h"
#include "dht/DHTPeerAnnounceEntry.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFixture.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

const unsigned char SECRET[] = {1, 2, 3, 4};

TEST(DHTTokenTrackerTest, TokenIsBoundToHashAddressAndPort) {
  DHTTokenTracker tracker(SECRET);
  std::string hash = dhtId({0xaa});
  std::string token = tracker.generateToken(uc(hash), "192.0.2.1", 6881);
  ASSERT_EQ(DHT_TOKEN_LENGTH, token.size());

  // SHA-1 of info hash, compact address padded to 18 bytes, secret.
  std::string block = hash + std::string("\xc0\x00\x02\x01\x1a\xe1", 6) + std::string(12, '\0') +
                      std::string("\x01\x02\x03\x04", 4);
  auto sha1 = MessageDigest::sha1();
  sha1->update(block.data(), block.size());
  EXPECT_EQ(sha1->digest(), token);

  EXPECT_TRUE(tracker.validateToken(token, uc(hash), "192.0.2.1", 6881));
  EXPECT_FALSE(tracker.validateToken(token, uc(hash), "192.0.2.1", 6882));
  EXPECT_FALSE(tracker.validateToken(token, uc(hash), "192.0.2.2", 6881));
  EXPECT_FALSE(tracker.validateToken(token, uc(dhtId({0xab})), "192.0.2.1", 6881));
  EXPECT_EQ(token, DHTTokenTracker(SECRET).generateToken(uc(hash), "192.0.2.1", 6881));
  EXPECT_TRUE(tracker.validateToken(tracker.generateToken(uc(hash), "2001:db8::1", 1), uc(hash),
                                    "2001:db8::1", 1));
  EXPECT_THROW(tracker.generateToken(uc(hash), "example.org", 1), DlAbortEx);
  EXPECT_THROW(tracker.validateToken(token, uc(hash), "", 1), DlAbortEx);
}

TEST(DHTTokenTrackerTest, TokenOutlivesOneRotationButNotTwo) {
  DHTTokenTracker tracker;
  std::string hash = dhtId({0x01});
  std::string token = tracker.generateToken(uc(hash), "192.0.2.1", 1);
  tracker.updateTokenSecret();
  EXPECT_TRUE(tracker.validateToken(token, uc(hash), "192.0.2.1", 1));
  tracker.updateTokenSecret();
  EXPECT_FALSE(tracker.validateToken(token, uc(hash), "192.0.2.1", 1));
}

std::vector<std::string> peersOf(const DHTPeerAnnounceStorage& storage, const std::string& hash) {
  std::vector<std::shared_ptr<Peer>> peers;
  storage.getPeers(peers, uc(hash));
  std::vector<std::string> out;
  for (const auto& p : peers) {
    out.push_back(p->getIPAddress() + ":" + std::to_string(p->getPort()));
  }
  return out;
}

TEST(DHTPeerAnnounceStorageTest, KeepsEachAddressOnceAndPurgesStaleOnes) {
  WallclockShift clock;
  DHTPeerAnnounceStorage storage;
  std::string h1 = dhtId({0x01}), h2 = dhtId({0x02});
  EXPECT_TRUE(peersOf(storage, h1).empty());
  storage.addPeerAnnounce(uc(h1), "192.0.2.1", 6881);
  storage.addPeerAnnounce(uc(h1), "192.0.2.2", 6881);
  storage.addPeerAnnounce(uc(h2), "192.0.2.3", 1);
  clock.advance(1s);
  storage.addPeerAnnounce(uc(h1), "192.0.2.1", 6881);  // refreshed, stays first
  storage.addPeerAnnounce(uc(h1), "192.0.2.1", 6882);
  EXPECT_EQ((std::vector<std::string>{"192.0.2.1:6881", "192.0.2.2:6881", "192.0.2.1:6882"}),
            peersOf(storage, h1));

  clock.advance(1799s);  // 1800 s after the first announces, 1799 after the refresh
  storage.handleTimeout();
  EXPECT_EQ((std::vector<std::string>{"192.0.2.1:6881", "192.0.2.1:6882"}), peersOf(storage, h1));
  EXPECT_FALSE(storage.contains(uc(h2)));
  EXPECT_TRUE(storage.contains(uc(h1)));
}

TEST(DHTPeerAnnounceStorageTest, AnnouncesCannotGrowTheStoreWithoutBound) {
  WallclockShift clock;
  DHTPeerAnnounceStorage storage;
  std::string hash = dhtId({0x01});
  for (size_t i = 0; i < DHTPeerAnnounceEntry::MAX_PEERS + 5; ++i) {
    storage.addPeerAnnounce(uc(hash), "192.0.2.1", static_cast<uint16_t>(i + 1));
    clock.advance(1ms);
  }
  auto peers = peersOf(storage, hash);
  ASSERT_EQ(DHTPeerAnnounceEntry::MAX_PEERS, peers.size());
  EXPECT_EQ("192.0.2.1:6", peers.front()) << "the five oldest went";
  EXPECT_EQ("192.0.2.1:105", peers.back());

  for (size_t i = 0; i < DHTPeerAnnounceStorage::MAX_INFO_HASHES + 1; ++i) {
    std::string h =
        dhtId({0x10, static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)});
    storage.addPeerAnnounce(uc(h), "192.0.2.1", 1);
    clock.advance(1ms);
  }
  EXPECT_EQ(DHTPeerAnnounceStorage::MAX_INFO_HASHES, storage.size());
  EXPECT_FALSE(storage.contains(uc(hash))) << "the hash announced least recently went first";
  EXPECT_TRUE(storage.contains(uc(dhtId({0x10, 0, 1}))));
}

}  // namespace
}  // namespace quarn

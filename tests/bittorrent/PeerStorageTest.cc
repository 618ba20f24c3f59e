#include <gtest/gtest.h>

#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/Peer.h"
#include "foundation/wallclock.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

std::shared_ptr<Peer> peerAt(int n, uint16_t port = 6881) {
  return std::make_shared<Peer>("10.0." + std::to_string(n / 256) + "." + std::to_string(n % 256),
                                port);
}

void advance(std::chrono::seconds s) {
  global::wallclock() = Timer(global::wallclock().getTime() + s);
}

TEST(PeerStorageTest, SinglePeersStopAtCapacityAndDuplicatesAreRejected) {
  DefaultPeerStorage storage;
  for (int i = 0; i < 512; ++i) {
    ASSERT_TRUE(storage.addPeer(peerAt(i)));
  }
  EXPECT_FALSE(storage.addPeer(peerAt(600)));
  DefaultPeerStorage fresh;
  EXPECT_TRUE(fresh.addPeer(peerAt(1)));
  EXPECT_FALSE(fresh.addPeer(peerAt(1)));       // same address and port
  EXPECT_TRUE(fresh.addPeer(peerAt(1, 6882)));  // another port is another peer
  EXPECT_EQ(2u, fresh.countAllPeer());
}

TEST(PeerStorageTest, BatchIsTakenWholeThenTrimmedFromTheNewest) {
  DefaultPeerStorage storage;
  for (int i = 0; i < 511; ++i) {
    storage.addPeer(peerAt(i));
  }
  storage.addPeer(
      std::vector<std::shared_ptr<Peer>>{peerAt(1000), peerAt(1001), peerAt(1002), peerAt(5)});
  ASSERT_EQ(512u, storage.getUnusedPeers().size());
  EXPECT_EQ("10.0.3.232", storage.getUnusedPeers().back()->getIPAddress());  // 1000
  // The trimmed peers are forgotten and may come again later.
  storage.checkoutPeer(1);
  EXPECT_TRUE(storage.addPeer(peerAt(1001)));
}

TEST(PeerStorageTest, BansLastTwoToTenMinutesAndExpireOnLookup) {
  for (int round = 0; round < 20; ++round) {
    DefaultPeerStorage storage;
    storage.addBadPeer("10.9.9.9");
    EXPECT_TRUE(storage.isBadPeer("10.9.9.9"));
    EXPECT_FALSE(storage.addPeer(std::make_shared<Peer>("10.9.9.9", 1)));
    EXPECT_FALSE(storage.isBadPeer("10.9.9.8"));
    advance(119s);
    EXPECT_TRUE(storage.isBadPeer("10.9.9.9"));
    advance(482s);
    EXPECT_FALSE(storage.isBadPeer("10.9.9.9"));
    EXPECT_TRUE(storage.addPeer(std::make_shared<Peer>("10.9.9.9", 1)));
  }
}

TEST(PeerStorageTest, IncomingConnectionReplacesAWaitingPeerButNotAConnectedOne) {
  DefaultPeerStorage storage;
  storage.addPeer(peerAt(1));
  storage.addPeer(peerAt(2));
  auto incoming = std::make_shared<Peer>("10.0.0.2", 6881, true);
  EXPECT_EQ(incoming, storage.addAndCheckoutPeer(incoming, 7));
  EXPECT_EQ(7, incoming->usedBy());
  EXPECT_EQ(1u, storage.getUnusedPeers().size());
  EXPECT_EQ(nullptr, storage.addAndCheckoutPeer(std::make_shared<Peer>("10.0.0.2", 6881, true), 8));
  auto stranger = std::make_shared<Peer>("10.7.7.7", 4000, true);
  EXPECT_EQ(stranger, storage.addAndCheckoutPeer(stranger, 9));
  EXPECT_EQ(3u, storage.countAllPeer());
}

TEST(PeerStorageTest, ReturnedPeersAreForgottenAndGracefulOnesListedAsDropped) {
  DefaultPeerStorage storage;
  for (int i = 0; i < 60; ++i) {
    auto p = peerAt(i);
    storage.addPeer(p);
    storage.checkoutPeer(i + 1);
    p->allocateSessionResource(1024, 4096);
    p->setDisconnectedGracefully(true);
    storage.returnPeer(p);
    EXPECT_EQ(0, p->usedBy());
  }
  EXPECT_EQ(0u, storage.countAllPeer());
  EXPECT_EQ(50u, storage.getDroppedPeers().size());
  EXPECT_EQ("10.0.0.59", storage.getDroppedPeers().front()->getIPAddress());
  // The same peer dropped again appears once, at the front.
  auto again = peerAt(30);
  storage.addPeer(again);
  storage.checkoutPeer(99);
  again->allocateSessionResource(1024, 4096);
  again->setDisconnectedGracefully(true);
  storage.returnPeer(again);
  EXPECT_EQ(50u, storage.getDroppedPeers().size());
  EXPECT_EQ(1, std::count_if(storage.getDroppedPeers().begin(), storage.getDroppedPeers().end(),
                             [](const auto& p) { return p->getIPAddress() == "10.0.0.30"; }));
  // A peer that is not checked out is not returned.
  storage.returnPeer(peerAt(1));
}

TEST(PeerStorageTest, ReturningAnUnchokedInterestedPeerRunsAChokeRound) {
  DefaultPeerStorage storage;
  auto leaving = peerAt(1);
  auto staying = peerAt(2);
  for (const auto& p : {leaving, staying}) {
    storage.addPeer(p);
    storage.checkoutPeer(1);
    p->allocateSessionResource(1024, 4096);
  }
  EXPECT_TRUE(storage.chokeRoundIntervalElapsed());  // the first round is due at once
  staying->peerInterested(true);
  leaving->peerInterested(true);
  leaving->amChoking(false);
  storage.returnPeer(leaving);
  EXPECT_FALSE(staying->chokingRequired());
  EXPECT_FALSE(storage.chokeRoundIntervalElapsed());
  advance(10s);
  EXPECT_TRUE(storage.chokeRoundIntervalElapsed());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include <set>

#include "bittorrent/BtLeecherStateChoke.h"
#include "bittorrent/BtSeederStateChoke.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/ZeroBtMessage.h"

namespace quarn {
namespace {

using namespace quarn::test;

struct Swarm {
  explicit Swarm(int n) : dispatchers(n) {
    for (int i = 0; i < n; ++i) {
      auto p = std::make_shared<Peer>("10.1.0." + std::to_string(i), 6881);
      p->allocateSessionResource(1024, 8192);
      p->setBtMessageDispatcher(&dispatchers[i]);
      p->peerInterested(true);
      peers.push_back(p);
      set.insert(p);
    }
  }
  size_t unchoked() const {
    return std::count_if(peers.begin(), peers.end(),
                         [](const auto& p) { return p->isActive() && !p->shouldBeChoking(); });
  }
  size_t regular() const {
    return std::count_if(peers.begin(), peers.end(),
                         [](const auto& p) { return p->isActive() && !p->chokingRequired(); });
  }
  size_t optimistic() const {
    return std::count_if(peers.begin(), peers.end(),
                         [](const auto& p) { return p->isActive() && p->optUnchoking(); });
  }
  std::vector<FakeDispatcher> dispatchers;
  std::vector<std::shared_ptr<Peer>> peers;
  std::set<std::shared_ptr<Peer>> set;
};

TEST(ChokeTest, LeecherRoundsUnchokeThreeAndOneOptimisticAtMost) {
  Swarm swarm(8);
  swarm.peers[7]->releaseSessionResource();  // a peer without a session takes no part
  BtLeecherStateChoke choke;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    choke.executeChoke(swarm.set);
    EXPECT_EQ(3u, swarm.regular());
    EXPECT_LE(swarm.unchoked(), 4u);
    EXPECT_EQ(round % 3 == 0 ? 1u : swarm.optimistic(), swarm.optimistic());
  }
}

TEST(ChokeTest, LeecherPrefersFastRecentUploadersAndNeverUnchokesTheSnubbed) {
  Swarm swarm(5);
  swarm.peers[0]->updateDownload(100000);
  swarm.peers[1]->updateDownload(50000);
  swarm.peers[2]->snubbing(true);
  swarm.peers[2]->updateDownload(900000);
  swarm.peers[3]->peerInterested(false);
  BtLeecherStateChoke choke;
  for (int round = 0; round < 3; ++round) {
    choke.executeChoke(swarm.set);
    EXPECT_FALSE(swarm.peers[0]->chokingRequired());
    EXPECT_FALSE(swarm.peers[1]->chokingRequired());
    EXPECT_TRUE(swarm.peers[2]->shouldBeChoking());
    EXPECT_TRUE(swarm.peers[3]->shouldBeChoking());
  }
}

TEST(ChokeTest, SeederServesPeersWithQueuedPiecesFirstAndRoundTwoUnchokesFour) {
  Swarm swarm(7);
  swarm.dispatchers[5].queue.push_back(std::make_unique<BtChokeMessage>());
  swarm.peers[6]->peerInterested(false);
  BtSeederStateChoke choke;
  choke.executeChoke(swarm.set);  // round 0
  EXPECT_FALSE(swarm.peers[5]->chokingRequired());
  EXPECT_EQ(3u, swarm.regular());
  EXPECT_EQ(1u, swarm.optimistic());
  EXPECT_TRUE(swarm.peers[6]->shouldBeChoking());
  choke.executeChoke(swarm.set);  // round 1
  EXPECT_EQ(3u, swarm.regular());
  std::vector<bool> optimisticBefore;
  for (const auto& p : swarm.peers) {
    optimisticBefore.push_back(p->optUnchoking());
  }
  choke.executeChoke(swarm.set);  // round 2
  EXPECT_EQ(4u, swarm.regular());
  for (size_t i = 0; i < swarm.peers.size(); ++i) {
    EXPECT_EQ(optimisticBefore[i], swarm.peers[i]->optUnchoking());
  }
}

TEST(ChokeTest, RoundWithoutPeersOnlyAdvances) {
  BtSeederStateChoke seeder;
  BtLeecherStateChoke leecher;
  EXPECT_TRUE(seeder.getLastRound().isZero());
  seeder.executeChoke({});
  leecher.executeChoke({});
  EXPECT_FALSE(seeder.getLastRound().isZero());
  EXPECT_FALSE(leecher.getLastRound().isZero());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/wallclock.h"

namespace quarn {
namespace {

using namespace quarn::test;

TEST(PeerSessionTest, NewPeerIsInactiveAndSessionStartsChoked) {
  Peer peer("192.168.0.1", 6881);
  EXPECT_FALSE(peer.isActive());
  EXPECT_FALSE(peer.isSeeder());
  EXPECT_EQ(0, peer.usedBy());
  EXPECT_EQ(6881, peer.getOrigPort());
  EXPECT_EQ(std::string(20, '\0'),
            std::string(reinterpret_cast<const char*>(peer.getPeerId()), 20));
  peer.allocateSessionResource(1024, 10 * 1024);
  EXPECT_TRUE(peer.isActive());
  EXPECT_TRUE(peer.amChoking());
  EXPECT_TRUE(peer.peerChoking());
  EXPECT_FALSE(peer.amInterested());
  EXPECT_FALSE(peer.peerInterested());
  EXPECT_TRUE(peer.chokingRequired());
  EXPECT_FALSE(peer.isSeeder());
  peer.releaseSessionResource();
  EXPECT_FALSE(peer.isActive());
}

TEST(PeerSessionTest, BitfieldChangesRecomputeTheSeederFlag) {
  Peer peer("10.0.0.1", 1);
  peer.allocateSessionResource(1024, 10 * 1024);  // 10 pieces, 2 bytes
  const unsigned char all[] = {0xff, 0xc0};
  const unsigned char allButLast[] = {0xff, 0x80};
  peer.setBitfield(allButLast, 2);
  EXPECT_FALSE(peer.isSeeder());
  peer.setBitfield(all, 1);  // wrong length: ignored
  EXPECT_FALSE(peer.isSeeder());
  EXPECT_TRUE(peer.hasPiece(8));
  EXPECT_FALSE(peer.hasPiece(9));
  peer.updateBitfield(9, 2);
  EXPECT_FALSE(peer.hasPiece(9));
  peer.updateBitfield(9, 1);
  EXPECT_TRUE(peer.isSeeder());
  EXPECT_EQ(10 * 1024, peer.getCompletedLength());
  peer.updateBitfield(0, 0);
  EXPECT_FALSE(peer.isSeeder());
  peer.setAllBitfield();
  EXPECT_TRUE(peer.isSeeder());
  // A new geometry clears the pieces but keeps the session's other state.
  peer.amInterested(true);
  peer.setExtension(EXT_UT_PEX, 8);
  peer.reconfigureSessionResource(2048, 4096);
  EXPECT_EQ(1u, peer.getBitfieldLength());
  EXPECT_FALSE(peer.hasPiece(0));
  EXPECT_TRUE(peer.amInterested());
  EXPECT_EQ(8, peer.getExtensionMessageID(EXT_UT_PEX));
  EXPECT_STREQ("ut_pex", peer.getExtensionName(8));
  EXPECT_EQ(nullptr, peer.getExtensionName(0));
}

TEST(PeerSessionTest, ChokeAndSnubRules) {
  Peer peer("10.0.0.1", 1);
  peer.allocateSessionResource(1024, 1024);
  global::wallclock() = Timer();
  peer.amChoking(false);
  const Timer unchoked = peer.getLastAmUnchoking();
  EXPECT_EQ(global::wallclock(), unchoked);
  global::wallclock() = Timer(unchoked.getTime() + std::chrono::seconds(5));
  peer.amChoking(true);
  EXPECT_EQ(unchoked, peer.getLastAmUnchoking());
  peer.chokingRequired(false);
  peer.optUnchoking(true);
  EXPECT_FALSE(peer.shouldBeChoking());
  peer.snubbing(true);
  EXPECT_TRUE(peer.chokingRequired());
  EXPECT_FALSE(peer.optUnchoking());
  EXPECT_TRUE(peer.shouldBeChoking());
  peer.snubbing(false);
  EXPECT_TRUE(peer.chokingRequired());
  EXPECT_FALSE(peer.snubbing());
}

TEST(PeerSessionTest, CountSeedersAmongActivePeers) {
  std::vector<std::shared_ptr<Peer>> peers;
  for (int i = 0; i < 3; ++i) {
    peers.push_back(std::make_shared<Peer>("10.0.0.1", 100 + i));
  }
  peers[0]->allocateSessionResource(1024, 1024);
  peers[0]->setAllBitfield();
  peers[1]->allocateSessionResource(1024, 1024);
  EXPECT_EQ(1u, countSeeder(peers.begin(), peers.end()));
}

TEST(PeerSessionTest, RuntimePeerLimits) {
  const std::pair<int32_t, int32_t> limits[] = {{55, 44}, {4, 3}, {2, 1}, {1, 1}, {0, 0}};
  for (auto [max, min] : limits) {
    BtRuntime runtime;
    runtime.setMaxPeers(max);
    EXPECT_EQ(max, runtime.getMaxPeers());
    EXPECT_EQ(min, runtime.getMinPeers()) << max;
  }
  BtRuntime unlimited;
  unlimited.setMaxPeers(0);
  for (int i = 0; i < 100; ++i) {
    unlimited.increaseConnections();
  }
  EXPECT_TRUE(unlimited.lessThanMaxPeers());
  BtRuntime runtime;
  runtime.setMaxPeers(2);
  runtime.increaseConnections();
  EXPECT_TRUE(runtime.lessThanMaxPeers());
  EXPECT_FALSE(runtime.lessThanMinPeers());
  runtime.increaseConnections();
  EXPECT_FALSE(runtime.lessThanMaxPeers());
}

TEST(PeerSessionTest, RegistryFindsTorrentsByGidAndInfoHash) {
  BtRegistry registry;
  EXPECT_EQ(nullptr, registry.getDownloadContext(std::string(20, 'x')));
  auto ctx = std::make_shared<DownloadContext>();
  bittorrent::loadFromMemory(encode(withInfo(singleInfo("f", 1))), ctx, torrentOption(), "default");
  const std::string infoHash = bittorrent::getTorrentAttrs(ctx)->infoHash;
  auto first = std::make_unique<BtObject>();
  first->downloadContext = ctx;
  registry.put(7, std::move(first));
  EXPECT_EQ(ctx, registry.getDownloadContext(infoHash));
  auto replacement = std::make_unique<BtObject>();
  BtObject* kept = replacement.get();
  registry.put(7, std::move(replacement));
  EXPECT_EQ(kept, registry.get(7));
  EXPECT_EQ(nullptr, registry.getDownloadContext(infoHash));
  EXPECT_FALSE(registry.remove(8));
  EXPECT_TRUE(registry.remove(7));
  EXPECT_EQ(nullptr, registry.get(7));
}

}  // namespace
}  // namespace quarn

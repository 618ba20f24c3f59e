#include <gtest/gtest.h>

#include "TempDir.h"
#include "bittorrent/ActivePeerConnectionCommand.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerInteractionCommand.h"
#include "bittorrent/PeerListenCommand.h"
#include "bittorrent/PeerReceiveHandshakeCommand.h"
#include "bittorrent/SocketPair.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/MessageDigest.h"
#include "foundation/util_range.h"
#include "net/SocketCore.h"
#include "storage/DownloadFixture.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE_LENGTH = 32768;
const std::string INFO_HASH = "abcdefghij0123456789";

std::string frame(const std::string& payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)} +
         payload;
}

// The engine runs a peer interaction command for an incoming connection
// whose remote end, a seeder, the test plays on a socket pair.
class PeerCommandTest : public ::testing::Test {
 protected:
  PeerCommandTest() : download(dir.file("data"), PIECE_LENGTH, 2 * PIECE_LENGTH) {
    for (auto [pref, value] : {std::pair{PREF_BT_TIMEOUT, "180"},
                               {PREF_PEER_CONNECTION_TIMEOUT, "20"},
                               {PREF_BT_REQUEST_TIMEOUT, "60"},
                               {PREF_BT_KEEP_ALIVE_INTERVAL, "120"},
                               {PREF_ENABLE_PEER_EXCHANGE, "true"}}) {
      download.globalOption->put(pref, value);
    }
    engine.setOption(download.globalOption.get());
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 31 + i / 999);
    }
    std::vector<std::string> hashes;
    for (int i = 0; i < 2; ++i) {
      hashes.push_back(
          MessageDigest::sha1()->update(data.data() + i * PIECE_LENGTH, PIECE_LENGTH).digest());
    }
    download.ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
    auto attr = std::make_shared<TorrentAttribute>();
    attr->infoHash = INFO_HASH;
    attr->metadata = "d4:name4:datae";
    download.ctx->setAttribute(CTX_ATTR_BT, attr);
    download.storage->getDiskAdaptor()->initAndOpenFile();
    group.setDownloadContext(download.ctx);
    group.setPieceStorage(download.storage);
  }

  TempDir dir;
  DownloadFixture download;
  std::string data = std::string(2 * PIECE_LENGTH, '\0');
  DownloadEngine engine{std::make_unique<EpollEventPoll>()};
  RequestGroup group{GroupId::create(), download.option};
  std::shared_ptr<BtRuntime> runtime = std::make_shared<BtRuntime>();
  std::shared_ptr<DefaultPeerStorage> peerStorage = std::make_shared<DefaultPeerStorage>();
  SocketPair sockets;
};

TEST_F(PeerCommandTest, IncomingSeederDeliversTheWholeTorrent) {
  auto peer = std::make_shared<Peer>("10.0.0.8", 51413, true);
  ASSERT_EQ(peer, peerStorage->addAndCheckoutPeer(peer, 1));
  // The first bytes arrived before the command existed.
  const std::string hs = std::string("\x13") + "BitTorrent protocol" + std::string(8, '\0') +
                         INFO_HASH + "-XX0000-seederseeder";
  auto connection = std::make_unique<PeerConnection>(1, peer, sockets.local);
  connection->presetBuffer(reinterpret_cast<const unsigned char*>(hs.data()), 20);
  sockets.write(hs.substr(20) + frame("\x05\xc0") + frame("\x01"));
  engine.addCommand(std::make_unique<PeerInteractionCommand>(
      1, &group, peer, &engine, runtime, download.storage, peerStorage, sockets.local,
      PeerInteractionCommand::AWAIT_AND_REPLY_HANDSHAKE, std::move(connection)));
  EXPECT_EQ(1, runtime->getConnections());
  std::string received;
  size_t served = 0;
  for (int turn = 0; turn < 50 && !download.storage->downloadFinished(); ++turn) {
    engine.run(true);
    received += sockets.readAll();
    // Answer every complete request after our handshake.
    size_t pos = 68;
    size_t seen = 0;
    while (pos + 4 <= received.size()) {
      const uint32_t n =
          (static_cast<uint8_t>(received[pos + 2]) << 8) | static_cast<uint8_t>(received[pos + 3]);
      if (pos + 4 + n > received.size()) {
        break;
      }
      if (n == 13 && received[pos + 4] == 6 && seen++ >= served) {
        const std::string req = received.substr(pos + 5, 12);
        const uint32_t index = static_cast<uint8_t>(req[3]);
        const uint32_t begin = (static_cast<uint8_t>(req[6]) << 8) | static_cast<uint8_t>(req[7]);
        sockets.write(
            frame("\x07" + req.substr(0, 8) + data.substr(index * PIECE_LENGTH + begin, 16384)));
        ++served;
      }
      pos += 4 + n;
    }
  }
  EXPECT_EQ(INFO_HASH, received.substr(28, 20));
  EXPECT_TRUE(download.storage->downloadFinished());
  EXPECT_EQ(4u, served);
  runtime->setHalt(true);
  engine.run(true);
  EXPECT_EQ(0, runtime->getConnections());
  EXPECT_EQ(0u, peerStorage->countAllPeer());
}

TEST_F(PeerCommandTest, ActiveConnectorStartsConnectionsWhileThePeersLast) {
  for (int i = 1; i <= 3; ++i) {
    peerStorage->addPeer(std::make_shared<Peer>("127.0.0." + std::to_string(i), 9));
  }
  auto* active = new ActivePeerConnectionCommand(1, &group, &engine, std::chrono::seconds(0));
  engine.addCommand(std::unique_ptr<Command>(active));
  active->setBtRuntime(runtime);
  active->setPieceStorage(download.storage);
  active->setPeerStorage(peerStorage);
  active->makeNewConnections(ActivePeerConnectionCommand::NUM_NEW_CONNECTION);
  EXPECT_EQ(3, runtime->getConnections());
  EXPECT_FALSE(peerStorage->isPeerAvailable());
  EXPECT_EQ(3u, peerStorage->getUsedPeers().size());
  // Halting ends every command and gives every peer back.
  runtime->setHalt(true);
  engine.run(true);
  engine.run(true);
  EXPECT_EQ(0, runtime->getConnections());
  EXPECT_EQ(0u, peerStorage->countAllPeer());
}

TEST_F(PeerCommandTest, IncomingHandshakeIsMatchedToItsTorrentByInfoHash) {
  download.globalOption->put(PREF_BT_REQUEST_PEER_SPEED_LIMIT, "51200");
  download.ctx->setOwnerRequestGroup(&group);
  auto registry = std::make_unique<BtRegistry>();
  registry->put(group.getGID(), std::make_unique<BtObject>(download.ctx, download.storage,
                                                           peerStorage, nullptr, runtime, nullptr));
  engine.setService(std::move(registry));
  struct Case {
    std::string infoHash;
    bool ready;
    bool handedOver;
  } cases[] = {
      {INFO_HASH, true, true}, {INFO_HASH, false, false}, {"xxxxxxxxxxxxxxxxxxxx", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.infoHash + (c.ready ? " ready" : ""));
    SocketPair incoming;
    runtime->setReady(c.ready);
    auto peer = std::make_shared<Peer>("10.0.0.9", 40000, true);
    engine.addCommand(
        std::make_unique<PeerReceiveHandshakeCommand>(2, peer, &engine, incoming.local));
    // Half of the info hash first: the command waits without taking bytes.
    const std::string hs = std::string("\x13") + "BitTorrent protocol" + std::string(8, '\0') +
                           c.infoHash + "-XX0000-leecherleech";
    incoming.write(hs.substr(0, 38));
    engine.run(true);
    incoming.write(hs.substr(38));
    for (int turn = 0; turn < 4; ++turn) {
      engine.run(true);
    }
    const std::string answer = incoming.readAll();
    EXPECT_EQ(c.handedOver, answer.size() >= 68);
    EXPECT_EQ(c.handedOver ? 1 : 0, runtime->getConnections());
    runtime->setHalt(true);
    engine.run(true);
    runtime->setHalt(false);
    EXPECT_EQ(0, runtime->getConnections());
  }
}

TEST_F(PeerCommandTest, ListenerSkipsPortsInUseAndFailsWhenNoneBinds) {
  SocketCore taken;
  taken.bindWithFamily(0, AF_INET);
  taken.beginListen();
  const uint16_t busy = taken.getAddrInfo().port;
  PeerListenCommand listen(3, &engine, AF_INET);
  uint16_t port = 0;
  auto onlyBusy = util::parseIntSegments(std::to_string(busy));
  EXPECT_FALSE(listen.bindPort(port, onlyBusy));
  EXPECT_EQ(0, listen.getPort());
  auto withFree = util::parseIntSegments(std::to_string(busy) + ",0");
  ASSERT_TRUE(listen.bindPort(port, withFree));
  EXPECT_NE(0, listen.getPort());
}

}  // namespace
}  // namespace quarn

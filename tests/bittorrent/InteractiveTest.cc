#include <gtest/gtest.h>

#include <cstring>

#include "TempDir.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/DefaultBtInteractive.h"
#include "bittorrent/DefaultBtMessageDispatcher.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/DefaultBtMessageReceiver.h"
#include "bittorrent/DefaultBtRequestFactory.h"
#include "bittorrent/DefaultExtensionMessageFactory.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/RequestSlot.h"
#include "bittorrent/SocketPair.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/peer_identity.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/wallclock.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE_LENGTH = 32768;
const std::string INFO_HASH = "ABCDEFGHIJKLMNOPQRST";
const std::string REMOTE_ID = "-LT0000-remotepeer01";

std::string frame(const std::string& payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)} +
         payload;
}

std::string be32(uint32_t n) {
  return frame(std::string(n, '\0')).substr(0, 4);
}

std::string handshake(const std::string& peerId, bool fast) {
  std::string reserved(8, '\0');
  if (fast) {
    reserved[7] = 0x04;
  }
  return std::string("\x13") + "BitTorrent protocol" + reserved + INFO_HASH + peerId;
}

// Splits what this side sent into messages (after its 68-byte handshake).
std::vector<std::string> messages(const std::string& stream) {
  std::vector<std::string> out;
  for (size_t i = 68; i + 4 <= stream.size();) {
    const uint32_t n =
        (static_cast<uint8_t>(stream[i]) << 24) | (static_cast<uint8_t>(stream[i + 1]) << 16) |
        (static_cast<uint8_t>(stream[i + 2]) << 8) | static_cast<uint8_t>(stream[i + 3]);
    out.push_back(stream.substr(i + 4, n));
    i += 4 + n;
  }
  return out;
}

// A two-piece torrent and one outgoing connection wired as its command
// wires it, with the test playing the remote peer on a socket pair.
class InteractiveTest : public ::testing::Test {
 protected:
  InteractiveTest() : download(dir.file("data"), PIECE_LENGTH, 2 * PIECE_LENGTH) {
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 13 + i / 777);
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
    peerStorage->addPeer(peer);
    peerStorage->checkoutPeer(1);
    wire();
  }
  ~InteractiveTest() override {
    peer->releaseSessionResource();
    peerStorage->returnPeer(peer);
  }

  void wire() {
    auto registry = std::make_unique<ExtensionMessageRegistry>();
    auto extFactory = std::make_unique<DefaultExtensionMessageFactory>(peer, registry.get());
    extFactory->setDownloadContext(download.ctx.get());
    auto factory = std::make_unique<DefaultBtMessageFactory>();
    factory->setCuid(1);
    factory->setDownloadContext(download.ctx.get());
    factory->setPieceStorage(download.storage.get());
    factory->setPeerStorage(peerStorage.get());
    factory->setPeer(peer);
    factory->setExtensionMessageFactory(extFactory.get());
    auto connection = std::make_unique<PeerConnection>(1, peer, sockets.local);
    auto dispatcher = std::make_unique<DefaultBtMessageDispatcher>();
    dispatcher->setCuid(1);
    dispatcher->setPeer(peer);
    dispatcher->setDownloadContext(download.ctx.get());
    dispatcher->setRequestTimeout(std::chrono::seconds(60));
    dispatcher->setBtMessageFactory(factory.get());
    dispatcher->setPeerConnection(connection.get());
    auto receiver = std::make_unique<DefaultBtMessageReceiver>();
    receiver->setDownloadContext(download.ctx.get());
    receiver->setPeerConnection(connection.get());
    receiver->setBtMessageDispatcher(dispatcher.get());
    receiver->setBtMessageFactory(factory.get());
    auto requests = std::make_unique<DefaultBtRequestFactory>();
    requests->setPeer(peer);
    requests->setPieceStorage(download.storage.get());
    requests->setBtMessageDispatcher(dispatcher.get());
    requests->setBtMessageFactory(factory.get());
    requests->setCuid(1);
    factory->setBtMessageDispatcher(dispatcher.get());
    factory->setBtRequestFactory(requests.get());
    factory->setPeerConnection(connection.get());
    peer->allocateSessionResource(PIECE_LENGTH, 2 * PIECE_LENGTH);
    peer->setBtMessageDispatcher(dispatcher.get());
    interactive = std::make_unique<DefaultBtInteractive>(download.ctx, peer);
    interactive->setCuid(1);
    interactive->setPieceStorage(download.storage);
    interactive->setPeerStorage(peerStorage);
    interactive->setBtMessageReceiver(std::move(receiver));
    interactive->setDispatcher(std::move(dispatcher));
    interactive->setBtRequestFactory(std::move(requests));
    interactive->setPeerConnection(std::move(connection));
    interactive->setExtensionMessageFactory(std::move(extFactory));
    interactive->setExtensionMessageRegistry(std::move(registry));
    interactive->setBtMessageFactory(std::move(factory));
  }

  // Both handshakes exchanged; returns what this side sent so far.
  std::string connect(bool fast) {
    interactive->initiateHandshake();
    sockets.write(handshake(REMOTE_ID, fast));
    EXPECT_NE(nullptr, interactive->receiveHandshake());
    interactive->doPostHandshakeProcessing();
    return sockets.readAll();
  }

  TempDir dir;
  DownloadFixture download;
  std::string data = std::string(2 * PIECE_LENGTH, '\0');
  std::shared_ptr<Peer> peer = std::make_shared<Peer>("10.0.0.5", 6881);
  std::shared_ptr<DefaultPeerStorage> peerStorage = std::make_shared<DefaultPeerStorage>();
  SocketPair sockets;
  std::unique_ptr<DefaultBtInteractive> interactive;
};

TEST_F(InteractiveTest, RefusesOurOwnPeerId) {
  interactive->initiateHandshake();
  sockets.write(handshake(
      std::string(reinterpret_cast<const char*>(bittorrent::getStaticPeerId()), 20), false));
  try {
    interactive->receiveHandshake();
    ADD_FAILURE() << "accepted";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("CUID#1 - Drop connection from the same Peer ID", e.what());
  }
}

TEST_F(InteractiveTest, OpeningMessagesDependOnTheFastExtensionAndOurPieces) {
  // Nothing to announce to a plain peer while this side has no piece.
  const std::string sent = connect(false);
  ASSERT_GE(sent.size(), 68u);
  EXPECT_EQ(INFO_HASH, sent.substr(28, 20));
  EXPECT_TRUE(messages(sent).empty());
}

TEST_F(InteractiveTest, FastPeerGetsHaveNoneAndTheAllowedFastSet) {
  const auto sent = messages(connect(true));
  ASSERT_EQ(3u, sent.size());  // have none, then one allowed-fast per piece
  EXPECT_EQ("\x0f", sent[0]);
  EXPECT_EQ(17, sent[1][0]);
  EXPECT_EQ(17, sent[2][0]);
}

TEST_F(InteractiveTest, DownloadsBothPiecesFromAnUnchokingSeeder) {
  connect(false);
  sockets.write(frame("\x05\xc0") + frame("\x01"));
  interactive->doInteractionProcessing();
  // Interested, then requests for all four blocks.
  const auto sent = messages(std::string(68, '\0') + sockets.readAll());
  ASSERT_EQ(5u, sent.size());
  EXPECT_EQ("\x02", sent[0]);
  for (size_t i = 1; i < sent.size(); ++i) {
    ASSERT_EQ(13u, sent[i].size());
    const uint32_t index = static_cast<uint8_t>(sent[i][4]);
    const uint32_t begin =
        (static_cast<uint8_t>(sent[i][7]) << 8) | static_cast<uint8_t>(sent[i][8]);
    sockets.write(frame("\x07" + be32(index) + be32(begin) +
                        data.substr(index * PIECE_LENGTH + begin, 16384)));
  }
  interactive->doInteractionProcessing();
  EXPECT_TRUE(download.storage->downloadFinished());
  EXPECT_EQ(0u, interactive->countOutstandingRequest());
  // Four of six requests were answered in one turn: the window doubles.
  EXPECT_EQ(2 * DefaultBtInteractive::INITIAL_OUTSTANDING_REQUESTS,
            interactive->getMaxOutstandingRequest());
}

TEST_F(InteractiveTest, TwoKeepAlivesInOneWindowAreFlooding) {
  connect(false);
  sockets.write(frame("") + frame(""));
  interactive->doInteractionProcessing();
  global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::seconds(5));
  try {
    interactive->doInteractionProcessing();
    ADD_FAILURE() << "no flooding";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Flooding detected.", e.what());
  }
}

TEST_F(InteractiveTest, IdleConnectionsEndGracefullyAfterTheirLimit) {
  struct Case {
    bool peerInterested;
    int seconds;
    bool ends;
  } cases[] = {{false, 29, false}, {false, 30, true}, {true, 59, false}, {true, 60, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    SocketPair fresh;
    sockets.local = fresh.local;
    std::swap(sockets.remote, fresh.remote);
    peer->releaseSessionResource();
    peer->setDisconnectedGracefully(false);
    const unsigned char noId[20] = {};
    peer->setPeerId(noId);  // a new connection of the same peer
    wire();
    connect(false);
    if (c.peerInterested) {
      sockets.write(frame("\x02"));
      interactive->doInteractionProcessing();
    }
    global::wallclock() = Timer(global::wallclock().getTime() + std::chrono::seconds(c.seconds));
    if (c.ends) {
      EXPECT_THROW(interactive->doInteractionProcessing(), DlAbortEx);
    } else {
      EXPECT_NO_THROW(interactive->doInteractionProcessing());
    }
    EXPECT_EQ(c.ends, peer->isDisconnectedGracefully());
    global::wallclock().reset();
  }
}

TEST_F(InteractiveTest, AFloodOfMessagesIsHandledInBoundedPortions) {
  connect(false);
  std::string flood;
  for (int i = 0; i < 1500; ++i) {
    flood += frame(std::string("\x04\x00\x00\x00\x01", 5));
  }
  sockets.write(flood);
  interactive->doInteractionProcessing();
  EXPECT_EQ(DefaultBtInteractive::MAX_MESSAGES_PER_TURN,
            interactive->countReceivedMessageInIteration());
  EXPECT_TRUE(interactive->isReceiveBoundReached());
  interactive->doInteractionProcessing();
  EXPECT_EQ(1500u - DefaultBtInteractive::MAX_MESSAGES_PER_TURN,
            interactive->countReceivedMessageInIteration());
  EXPECT_FALSE(interactive->isReceiveBoundReached());
}

}  // namespace
}  // namespace quarn

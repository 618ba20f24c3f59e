#include <gtest/gtest.h>

#include <cstring>

#include "TempDir.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/DefaultBtMessageReceiver.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/SocketPair.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/peer_identity.h"
#include "foundation/DlAbortEx.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE_LENGTH = 32768;
const std::string INFO_HASH = "0123456789abcdefghij";

std::string frame(const std::string& payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                  static_cast<char>(n)};
  return out + payload;
}

std::string handshake(const std::string& infoHash) {
  return std::string("\x13") + "BitTorrent protocol" + std::string(8, '\0') + infoHash +
         "-XX0000-abcdefghijkl";
}

// A two-and-a-half-piece torrent, its peer and a factory and receiver wired
// to a real connection over a socket pair.
class MessageFactoryTest : public ::testing::Test {
 protected:
  MessageFactoryTest() : download(dir.file("data"), PIECE_LENGTH, 2 * PIECE_LENGTH + 100) {
    auto attr = std::make_shared<TorrentAttribute>();
    attr->infoHash = INFO_HASH;
    download.ctx->setAttribute(CTX_ATTR_BT, attr);
    peer->allocateSessionResource(PIECE_LENGTH, 2 * PIECE_LENGTH + 100);
    factory.setCuid(3);
    factory.setDownloadContext(download.ctx.get());
    factory.setPieceStorage(download.storage.get());
    factory.setPeerStorage(&peerStorage);
    factory.setPeer(peer);
    factory.setBtMessageDispatcher(&dispatcher);
    factory.setPeerConnection(&connection);
    receiver.setDownloadContext(download.ctx.get());
    receiver.setPeerConnection(&connection);
    receiver.setBtMessageDispatcher(&dispatcher);
    receiver.setBtMessageFactory(&factory);
  }
  std::unique_ptr<BtMessage> decode(const std::string& payload) {
    return factory.createBtMessage(reinterpret_cast<const unsigned char*>(payload.data()),
                                   payload.size());
  }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<Peer> peer = std::make_shared<Peer>("10.0.0.9", 51413);
  FakeDispatcher dispatcher;
  FakePeerStorage peerStorage;
  SocketPair sockets;
  PeerConnection connection{3, peer, sockets.local};
  DefaultBtMessageFactory factory;
  DefaultBtMessageReceiver receiver;
};

TEST_F(MessageFactoryTest, DecodesEveryKnownIdAndRefusesTheOthers) {
  struct Case {
    std::string payload;
    const char* text;  // prefix of toString(), or of the error
    bool fails;
  } cases[] = {
      {"", "keep alive", false},
      {std::string("\x00", 1), "choke", false},
      {"\x01", "unchoke", false},
      {"\x02", "interested", false},
      {"\x03", "not interested", false},
      {std::string("\x04\x00\x00\x00\x01", 5), "have index=1", false},
      {std::string("\x05\xc0", 2), "bitfield", false},
      {std::string("\x06\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x40\x00", 13), "request", false},
      {std::string("\x08\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x40\x00", 13), "cancel", false},
      {std::string("\x09\x1a\xe1", 3), "port", false},
      {std::string("\x0d\x00\x00\x00\x01", 5), "suggest piece", false},
      {"\x0e", "have all", false},
      {"\x0f", "have none", false},
      {std::string("\x11\x00\x00\x00\x01", 5), "allowed fast", false},
      {"\x0a", "Invalid message ID. id=10", true},
      {"\x0b", "Invalid message ID. id=11", true},
      {"\x0c", "Invalid message ID. id=12", true},
      {"\x12", "Invalid message ID. id=18", true},
      {"\x13", "Invalid message ID. id=19", true},
      {"\x15", "Invalid message ID. id=21", true},
      {"\xff", "Invalid message ID. id=255", true},
      {"\x14\x00", "Received extended message from peer during a session with extended", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      auto m = decode(c.payload);
      EXPECT_FALSE(c.fails);
      EXPECT_EQ(0u, m->toString().rfind(c.text, 0)) << m->toString();
      m->validate();
    } catch (const DlAbortEx& e) {
      EXPECT_TRUE(c.fails) << e.what();
      EXPECT_EQ(0u, std::string(e.what()).rfind(c.text, 0)) << e.what();
    }
  }
}

TEST_F(MessageFactoryTest, ReceivedIndexesAndRangesAreCheckedAgainstTheTorrent) {
  const std::string bad[] = {
      std::string("\x04\x00\x00\x00\x03", 5),  // have of a piece past the end
      std::string("\x05\xff", 2),              // bitfield with spare bits set
      // request past the short last piece
      std::string("\x06\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x40\x00", 13),
      std::string("\x07\x00\x00\x00\x03\x00\x00\x00\x00xx", 11),
      std::string("\x11\x00\x00\x00\x07", 5),
  };
  for (const auto& payload : bad) {
    SCOPED_TRACE(static_cast<int>(payload[0]));
    EXPECT_THROW(decode(payload)->validate(), DlAbortEx);
  }
  // A connection that fetches metadata checks nothing against pieces.
  factory.enableMetadataGetMode();
  EXPECT_NO_THROW(decode(bad[0])->validate());
}

TEST_F(MessageFactoryTest, RequestOfTheLastBlockOfTheShortPieceHasItsLength) {
  auto piece = download.storage->getPiece(2);
  EXPECT_EQ("request index=2, begin=0, length=100",
            factory.createRequestMessage(piece, 0)->toString());
  piece = download.storage->getPiece(1);
  EXPECT_EQ("request index=1, begin=16384, length=16384",
            factory.createRequestMessage(piece, 1)->toString());
}

TEST_F(MessageFactoryTest, QuickReplyRefusesAForeignInfoHashBeforeSendingAnything) {
  sockets.write(handshake("XXXXXXXXXXXXXXXXXXXX").substr(0, 48));
  try {
    receiver.receiveAndSendHandshake();
    ADD_FAILURE() << "accepted";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Bad Info Hash 5858585858585858585858585858585858585858", e.what());
  }
  EXPECT_TRUE(dispatcher.queue.empty());
}

TEST_F(MessageFactoryTest, QuickReplySendsAtOnceAndCompletesWithTheRest) {
  const std::string theirs = handshake(INFO_HASH);
  sockets.write(theirs.substr(0, 50));
  EXPECT_EQ(nullptr, receiver.receiveAndSendHandshake());
  EXPECT_EQ(nullptr, receiver.receiveAndSendHandshake());
  ASSERT_EQ(1u, dispatcher.queue.size());
  auto* mine = static_cast<BtHandshakeMessage*>(dispatcher.queue[0].get());
  EXPECT_EQ(0, std::memcmp(bittorrent::getStaticPeerId(), mine->getPeerId(), 20));
  sockets.write(theirs.substr(50));
  auto got = receiver.receiveAndSendHandshake();
  ASSERT_NE(nullptr, got);
  EXPECT_EQ("-XX0000-abcdefghijkl",
            std::string(reinterpret_cast<const char*>(got->getPeerId()), 20));
  EXPECT_EQ(1u, dispatcher.queue.size());
}

TEST_F(MessageFactoryTest, HandshakeArrivingWholeIsStillAnswered) {
  sockets.write(handshake(INFO_HASH));
  ASSERT_NE(nullptr, receiver.receiveAndSendHandshake());
  EXPECT_EQ(1u, dispatcher.queue.size());
}

TEST_F(MessageFactoryTest, MessagesSentWithTheHandshakeAreReceivedAfterIt) {
  const std::string stream =
      handshake(INFO_HASH) + frame("\x01") + frame(std::string("\x04\x00\x00\x00\x01", 5));
  connection.presetBuffer(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
  ASSERT_NE(nullptr, receiver.receiveHandshake());
  auto first = receiver.receiveMessage();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ("unchoke", first->toString());
  auto second = receiver.receiveMessage();
  ASSERT_NE(nullptr, second);
  EXPECT_EQ("have index=1", second->toString());
  EXPECT_EQ(nullptr, receiver.receiveMessage());
}

TEST_F(MessageFactoryTest, InvalidMessageFromTheSocketEndsTheConnection) {
  sockets.write(frame(std::string("\x04\x00\x00\x00\x09", 5)));
  EXPECT_THROW(receiver.receiveMessage(), DlAbortEx);
}

}  // namespace
}  // namespace quarn

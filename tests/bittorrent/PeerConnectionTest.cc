#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"

namespace quarn {
namespace {

using Bytes = std::vector<unsigned char>;

// One end of a socket pair is the connection's socket; the test writes the
// peer's bytes into the other end.
class PeerConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    socket_ = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    socket_->setNonBlockingMode();
    remote_ = fds[1];
    peer_ = std::make_shared<Peer>("127.0.0.1", 6881);
    connection_ = std::make_unique<PeerConnection>(1, peer_, socket_);
  }
  void TearDown() override {
    if (remote_ != -1) {
      ::close(remote_);
    }
  }
  void feed(const Bytes& bytes, size_t from, size_t to) {
    if (to > from) {
      ASSERT_EQ(static_cast<ssize_t>(to - from), ::write(remote_, bytes.data() + from, to - from));
    }
  }
  void closeRemote() {
    ::close(remote_);
    remote_ = -1;
  }
  // Every message complete so far, as payload strings.
  std::vector<std::string> drain() {
    std::vector<std::string> out;
    size_t length = 0;
    while (connection_->receiveMessage(nullptr, length)) {
      out.emplace_back(reinterpret_cast<const char*>(connection_->getMsgPayloadBuffer()), length);
    }
    return out;
  }

  std::shared_ptr<SocketCore> socket_;
  int remote_ = -1;
  std::shared_ptr<Peer> peer_;
  std::unique_ptr<PeerConnection> connection_;
};

Bytes frame(const std::string& payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  Bytes out{static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
            static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

const std::string HAVE("\x04\x00\x00\x00\x03", 5);
const std::string PIECE = std::string("\x07\x00\x00\x00\x01\x00\x00\x00\x00", 9) + "blockdata";

TEST_F(PeerConnectionTest, MessagesSplitAtEveryByteComeOutWholeAndInOrder) {
  const Bytes stream = concat({frame(HAVE), frame(""), frame(PIECE), frame(HAVE)});
  const std::vector<std::string> expected{HAVE, "", PIECE, HAVE};
  for (size_t split = 0; split <= stream.size(); ++split) {
    SCOPED_TRACE(split);
    SetUp();
    feed(stream, 0, split);
    auto got = drain();
    feed(stream, split, stream.size());
    for (auto& m : drain()) {
      got.push_back(m);
    }
    EXPECT_EQ(expected, got);
    TearDown();
  }
}

TEST_F(PeerConnectionTest, ByteByByteDeliveryYieldsEachMessageWhenItsLastByteArrives) {
  const Bytes stream = concat({frame(HAVE), frame(""), frame(PIECE)});
  std::vector<std::pair<size_t, std::string>> got;
  for (size_t i = 0; i < stream.size(); ++i) {
    feed(stream, i, i + 1);
    for (auto& m : drain()) {
      got.emplace_back(i + 1, m);
    }
  }
  const std::vector<std::pair<size_t, std::string>> expected{
      {9, HAVE}, {13, ""}, {stream.size(), PIECE}};
  EXPECT_EQ(expected, got);
}

TEST_F(PeerConnectionTest, CopiesThePayloadWhenAskedTo) {
  feed(frame(PIECE), 0, PIECE.size() + 4);
  unsigned char data[64];
  size_t length = 0;
  ASSERT_TRUE(connection_->receiveMessage(data, length));
  EXPECT_EQ(PIECE, std::string(reinterpret_cast<char*>(data), length));
}

TEST_F(PeerConnectionTest, LengthPrefixesBeyondTheCapacityEndTheConnection) {
  const uint32_t fits = PeerConnection::INITIAL_CAPACITY - 4;
  struct Case {
    uint32_t length;
    bool accepted;
  } cases[] = {{fits, true},        {fits + 1, false},   {0x7fffffff, false},
               {0xfffffffc, false}, {0xfffffffd, false}, {0xffffffff, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    SetUp();
    Bytes prefix{static_cast<unsigned char>(c.length >> 24),
                 static_cast<unsigned char>(c.length >> 16),
                 static_cast<unsigned char>(c.length >> 8), static_cast<unsigned char>(c.length)};
    feed(prefix, 0, 4);
    size_t length = 0;
    if (c.accepted) {
      EXPECT_FALSE(connection_->receiveMessage(nullptr, length));
      Bytes body(c.length, 'x');
      body[0] = 7;
      feed(body, 0, body.size());
      ASSERT_TRUE(connection_->receiveMessage(nullptr, length));
      EXPECT_EQ(c.length, length);
    } else {
      try {
        connection_->receiveMessage(nullptr, length);
        ADD_FAILURE() << "accepted";
      } catch (const DlAbortEx& e) {
        EXPECT_EQ("Max payload length exceeded or invalid. length = " + std::to_string(c.length),
                  e.what());
      }
    }
    TearDown();
  }
}

TEST_F(PeerConnectionTest, EndOfStreamInsideAMessageIsAGracefulDisconnect) {
  feed(frame(PIECE), 0, 7);
  closeRemote();
  size_t length = 0;
  try {
    connection_->receiveMessage(nullptr, length);
    ADD_FAILURE() << "no error";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Got EOF from peer.", e.what());
  }
  EXPECT_TRUE(peer_->isDisconnectedGracefully());
}

Bytes handshakeBytes() {
  Bytes hs(68, 0);
  hs[0] = 19;
  std::memcpy(hs.data() + 1, "BitTorrent protocol", 19);
  for (size_t i = 28; i < 68; ++i) {
    hs[i] = static_cast<unsigned char>(i);
  }
  return hs;
}

TEST_F(PeerConnectionTest, HandshakeIsTakenInPiecesAndLaterBytesStayForTheFraming) {
  const Bytes hs = handshakeBytes();
  unsigned char data[68];
  size_t length = sizeof(data);
  feed(hs, 0, 30);
  EXPECT_FALSE(connection_->receiveHandshake(data, length));
  EXPECT_EQ(30u, length);
  feed(hs, 30, 68);
  length = sizeof(data);
  ASSERT_TRUE(connection_->receiveHandshake(data, length));
  EXPECT_EQ(hs, Bytes(data, data + length));
  EXPECT_EQ(0u, connection_->getBufferLength());
}

TEST_F(PeerConnectionTest, MessagesArrivingWithTheHandshakeAreKept) {
  // An earlier stage read the handshake together with the first message.
  const Bytes stream = concat({handshakeBytes(), frame(HAVE)});
  connection_->presetBuffer(stream.data(), stream.size());
  unsigned char data[68];
  size_t length = sizeof(data);
  ASSERT_TRUE(connection_->receiveHandshake(data, length, true));
  EXPECT_EQ(stream.size(), connection_->getBufferLength());
  length = sizeof(data);
  ASSERT_TRUE(connection_->receiveHandshake(data, length));
  EXPECT_EQ(handshakeBytes(), Bytes(data, data + 68));
  EXPECT_EQ(std::vector<std::string>{HAVE}, drain());
}

TEST_F(PeerConnectionTest, EndOfStreamBeforeTheHandshakeEnds) {
  feed(handshakeBytes(), 0, 10);
  closeRemote();
  unsigned char data[68];
  size_t length = sizeof(data);
  EXPECT_FALSE(connection_->receiveHandshake(data, length));
  length = sizeof(data);
  EXPECT_THROW(connection_->receiveHandshake(data, length), DlAbortEx);
  EXPECT_TRUE(peer_->isDisconnectedGracefully());
}

TEST_F(PeerConnectionTest, ReserveBufferOnlyGrowsAndKeepsBufferedBytes) {
  feed(frame(PIECE), 0, 6);
  size_t length = 0;
  EXPECT_FALSE(connection_->receiveMessage(nullptr, length));
  connection_->reserveBuffer(100);
  EXPECT_EQ(PeerConnection::INITIAL_CAPACITY, connection_->getBufferCapacity());
  connection_->reserveBuffer(200000);
  EXPECT_EQ(200000u, connection_->getBufferCapacity());
  feed(frame(PIECE), 6, PIECE.size() + 4);
  EXPECT_EQ(std::vector<std::string>{PIECE}, drain());
}

TEST_F(PeerConnectionTest, EncryptionDecryptsOnlyBytesReadAfterItWasEnabled) {
  const unsigned char key[] = "0123456789abcdefghij";
  auto makeCipher = [&] {
    auto c = std::make_unique<ARC4Encryptor>();
    c->init(key, 20);
    return c;
  };
  const Bytes plainHave = frame(HAVE);
  connection_->presetBuffer(plainHave.data(), plainHave.size());
  connection_->enableEncryption(makeCipher(), makeCipher());
  Bytes secret = frame(PIECE);
  auto remoteCipher = makeCipher();
  remoteCipher->encrypt(secret.size(), secret.data(), secret.data());
  EXPECT_NE(frame(PIECE), secret);
  feed(secret, 0, secret.size());
  EXPECT_EQ((std::vector<std::string>{HAVE, PIECE}), drain());
}

}  // namespace
}  // namespace quarn

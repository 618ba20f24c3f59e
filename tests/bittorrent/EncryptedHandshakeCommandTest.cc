#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "TempDir.h"
#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DHKeyExchange.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/MSEHandshake.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerInitiateConnectionCommand.h"
#include "bittorrent/ReceiverMSEHandshakeCommand.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/MessageDigest.h"
#include "net/LoopbackPair.h"
#include "net/SocketCore.h"
#include "storage/DownloadFixture.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE_LENGTH = 16384;
const std::string INFO_HASH = "mse-command-infohash";
const std::string PLAIN_HS = std::string("\x13") + "BitTorrent protocol" + std::string(8, '\0') +
                             INFO_HASH + "-XX0000-remoteremote";
// A have message for piece 1, sent in the same write as the handshake.
const std::string HAVE_1 = std::string("\0\0\0\x05\x04\0\0\0\x01", 9);

void put(SocketCore& socket, const std::string& bytes) {
  ASSERT_EQ(static_cast<ssize_t>(bytes.size()), socket.writeData(bytes.data(), bytes.size()));
}

// A torrent of two pieces registered with the engine, whose connections the
// test makes from the remote side.
class EncryptedHandshakeCommandTest : public ::testing::Test {
 protected:
  EncryptedHandshakeCommandTest() : download(dir.file("data"), PIECE_LENGTH, 2 * PIECE_LENGTH) {
    for (auto [pref, value] : {std::pair{PREF_BT_TIMEOUT, "180"},
                               {PREF_PEER_CONNECTION_TIMEOUT, "20"},
                               {PREF_BT_REQUEST_TIMEOUT, "60"},
                               {PREF_BT_KEEP_ALIVE_INTERVAL, "120"},
                               {PREF_ENABLE_PEER_EXCHANGE, "false"},
                               {PREF_BT_REQUEST_PEER_SPEED_LIMIT, "51200"},
                               {PREF_BT_FORCE_ENCRYPTION, "false"},
                               {PREF_BT_REQUIRE_CRYPTO, "false"},
                               {PREF_BT_MIN_CRYPTO_LEVEL, "plain"}}) {
      download.globalOption->put(pref, value);
    }
    engine.setOption(download.globalOption.get());
    auto attr = std::make_shared<TorrentAttribute>();
    attr->infoHash = INFO_HASH;
    attr->metadata = "d4:name4:datae";
    download.ctx->setAttribute(CTX_ATTR_BT, attr);
    download.storage->getDiskAdaptor()->initAndOpenFile();
    group.setDownloadContext(download.ctx);
    group.setPieceStorage(download.storage);
    download.ctx->setOwnerRequestGroup(&group);
    runtime->setReady(true);
    auto registry = std::make_unique<BtRegistry>();
    registry->put(group.getGID(),
                  std::make_unique<BtObject>(download.ctx, download.storage, peerStorage, nullptr,
                                             runtime, nullptr));
    engine.setService(std::move(registry));
  }

  ~EncryptedHandshakeCommandTest() override {
    runtime->setHalt(true);
    engine.run(true);
  }

  void turns(int n) {
    for (int i = 0; i < n; ++i) {
      engine.run(true);
    }
  }

  // Runs the engine until the remote step completes, reading for it.
  bool until(MSEHandshake& h, SocketCore& socket, const std::function<bool()>& step) {
    for (int i = 0; i < 200; ++i) {
      if (step()) {
        return true;
      }
      engine.run(true);
      if (socket.isReadable(0)) {
        h.read();
      }
    }
    return false;
  }

  std::shared_ptr<Peer> connectedPeer() const {
    for (const auto& peer : peerStorage->getUsedPeers()) {
      if (peer->isActive()) {
        return peer;
      }
    }
    return nullptr;
  }

  // Runs the engine until the interaction has taken in the remote's have
  // message for piece 1; the connected peer, or null when none came up.
  std::shared_ptr<Peer> connectedPeerWithPiece1() {
    std::shared_ptr<Peer> connected;
    for (int i = 0; i < 50 && !(connected && connected->hasPiece(1)); ++i) {
      engine.run(true);
      connected = connectedPeer();
    }
    return connected;
  }

  // An outgoing connection the engine makes to a peer listening on loopback.
  struct Outgoing {
    std::shared_ptr<SocketCore> listener;
    std::shared_ptr<Peer> peer;
    std::shared_ptr<SocketCore> accepted;
  };

  // Queues a connection to a new peer, as the torrent's connection starter
  // does, and runs the engine until the peer's side accepts it.
  void connectToNewPeer(Outgoing& out) {
    out.listener = listenOnLoopback();
    out.peer = std::make_shared<Peer>("127.0.0.1", out.listener->getAddrInfo().port);
    peerStorage->addPeer(out.peer);
    const cuid_t cuid = engine.newCUID();
    ASSERT_EQ(out.peer, peerStorage->checkoutPeer(cuid));
    auto command =
        std::make_unique<PeerInitiateConnectionCommand>(cuid, &group, out.peer, &engine, runtime);
    command->setPeerStorage(peerStorage);
    command->setPieceStorage(download.storage);
    engine.addCommand(std::move(command));
    for (int i = 0; i < 50 && !out.accepted; ++i) {
      engine.run(true);
      if (out.listener->isReadable(0)) {
        out.accepted = out.listener->acceptConnection();
      }
    }
    ASSERT_TRUE(out.accepted);
  }

  TempDir dir;
  DownloadFixture download;
  DownloadEngine engine{std::make_unique<EpollEventPoll>()};
  RequestGroup group{GroupId::create(), download.option};
  std::shared_ptr<BtRuntime> runtime = std::make_shared<BtRuntime>();
  std::shared_ptr<DefaultPeerStorage> peerStorage = std::make_shared<DefaultPeerStorage>();
};

// The remote initiator sends its handshake and a first message in the same
// write as the end of its part of the negotiation: both must reach the
// interaction intact, whether the stream runs in RC4, in plain after the
// negotiation, or plain from the start.
TEST_F(EncryptedHandshakeCommandTest, ReceiverKeepsTheStreamBytesThatCameWithTheNegotiation) {
  enum Mode { ARC4, PLAIN_AFTER_MSE, LEGACY };
  for (Mode mode : {ARC4, PLAIN_AFTER_MSE, LEGACY}) {
    SCOPED_TRACE(mode);
    download.globalOption->put(PREF_BT_MIN_CRYPTO_LEVEL, mode == ARC4 ? "arc4" : "plain");
    auto pair = LoopbackPair::make();
    auto peer = std::make_shared<Peer>("127.0.0.1", 40000, true);
    engine.addCommand(std::make_unique<ReceiverMSEHandshakeCommand>(engine.newCUID(), peer, &engine,
                                                                    pair.server));
    auto& remote = *pair.client;
    Option remoteOption;
    remoteOption.put(PREF_BT_FORCE_ENCRYPTION, "false");
    remoteOption.put(PREF_BT_MIN_CRYPTO_LEVEL, "plain");
    MSEHandshake a(99, pair.client, &remoteOption);
    std::unique_ptr<ARC4Encryptor> encryptor;
    std::unique_ptr<ARC4Encryptor> decryptor;
    if (mode == LEGACY) {
      put(remote, PLAIN_HS + HAVE_1);
    } else {
      a.initEncryptionFacility(true);
      a.sendPublicKey();
      ASSERT_TRUE(until(a, remote, [&] { return a.send(); }));
      ASSERT_TRUE(until(a, remote, [&] { return a.receivePublicKey(); }));
      a.initCipher(reinterpret_cast<const unsigned char*>(INFO_HASH.data()));
      a.sendInitiatorStep2();
      ASSERT_TRUE(a.send());
      encryptor = a.popEncryptor();
      std::string stream = PLAIN_HS + HAVE_1;
      if (mode == ARC4) {
        // The negotiation ends in a choice not yet seen: RC4 because plain is
        // refused by this side's level.
        encryptor->encrypt(stream.size(), reinterpret_cast<unsigned char*>(stream.data()),
                           reinterpret_cast<const unsigned char*>(stream.data()));
      }
      put(remote, stream);
      ASSERT_TRUE(until(a, remote, [&] { return a.findInitiatorVCMarker(); }));
      ASSERT_TRUE(until(a, remote, [&] { return a.receiveInitiatorCryptoSelectAndPadDLength(); }));
      ASSERT_TRUE(until(a, remote, [&] { return a.receivePad(); }));
      ASSERT_EQ(mode == ARC4 ? MSEHandshake::CRYPTO_ARC4 : MSEHandshake::CRYPTO_PLAIN_TEXT,
                a.getNegotiatedCryptoType());
      decryptor = a.popDecryptor();
    }
    auto connected = connectedPeerWithPiece1();
    ASSERT_TRUE(connected);
    EXPECT_TRUE(connected->hasPiece(1));
    EXPECT_FALSE(connected->hasPiece(0));
    // Our answer: the handshake, encrypted when RC4 was chosen.
    std::string answer(a.getBuffer(), a.getBuffer() + a.getBufferLength());
    // The answer may still be on its way when the peer is already known.
    answer += bytesOf(remote);
    for (int i = 0; i < 50 && answer.size() < 68; ++i) {
      engine.run(true);
      answer += bytesOf(remote);
    }
    ASSERT_GE(answer.size(), 68u);
    if (mode == ARC4) {
      decryptor->encrypt(answer.size(), reinterpret_cast<unsigned char*>(answer.data()),
                         reinterpret_cast<const unsigned char*>(answer.data()));
    }
    EXPECT_EQ(PLAIN_HS.substr(0, 20), answer.substr(0, 20));
    EXPECT_EQ(INFO_HASH, answer.substr(28, 20));
    runtime->setHalt(true);
    engine.run(true);
    runtime->setHalt(false);
    EXPECT_EQ(0, runtime->getConnections());
  }
}

std::string sha1(const std::string& a, const std::string& b, const std::string& c = "") {
  return MessageDigest::sha1()
      ->update(a.data(), a.size())
      .update(b.data(), b.size())
      .update(c.data(), c.size())
      .digest();
}

// An RC4 cipher as the handshake makes it: 1024 keystream bytes dropped.
std::unique_ptr<ARC4Encryptor> rc4(const std::string& key) {
  auto c = std::make_unique<ARC4Encryptor>();
  c->init(reinterpret_cast<const unsigned char*>(key.data()), key.size());
  std::string discard(1024, '\0');
  c->encrypt(discard.size(), reinterpret_cast<unsigned char*>(discard.data()),
             reinterpret_cast<const unsigned char*>(discard.data()));
  return c;
}

std::string encrypted(ARC4Encryptor& c, std::string bytes) {
  c.encrypt(bytes.size(), reinterpret_cast<unsigned char*>(bytes.data()),
            reinterpret_cast<const unsigned char*>(bytes.data()));
  return bytes;
}

// A remote initiator that sends its handshake as the initial payload (IA)
// and a first message behind it, all in one write with the end of the
// negotiation: the interaction gets the handshake, then the message,
// decrypted in RC4 mode and as they came in plain mode.
TEST_F(EncryptedHandshakeCommandTest, ReceiverHandsOnTheInitialPayloadAndTheStreamBehindIt) {
  for (const char* level : {"arc4", "plain"}) {
    SCOPED_TRACE(level);
    const bool arc4 = std::string(level) == "arc4";
    download.globalOption->put(PREF_BT_MIN_CRYPTO_LEVEL, level);
    auto pair = LoopbackPair::make();
    auto peer = std::make_shared<Peer>("127.0.0.1", 40002, true);
    engine.addCommand(std::make_unique<ReceiverMSEHandshakeCommand>(engine.newCUID(), peer, &engine,
                                                                    pair.server));
    auto& remote = *pair.client;
    DHKeyExchange dh;
    dh.init(MSEHandshake::PRIME, MSEHandshake::PRIME_BITS, MSEHandshake::GENERATOR, 160);
    dh.generatePublicKey();
    std::string ya(MSEHandshake::KEY_LENGTH, '\0');
    dh.getPublicKey(reinterpret_cast<unsigned char*>(ya.data()), ya.size());
    put(remote, ya);
    std::string yb;
    for (int i = 0; i < 50 && yb.size() < MSEHandshake::KEY_LENGTH; ++i) {
      engine.run(true);
      yb += bytesOf(remote);
    }
    ASSERT_GE(yb.size(), MSEHandshake::KEY_LENGTH);
    std::string secret(MSEHandshake::KEY_LENGTH, '\0');
    dh.computeSecret(reinterpret_cast<unsigned char*>(secret.data()), secret.size(),
                     reinterpret_cast<const unsigned char*>(yb.data()), MSEHandshake::KEY_LENGTH);
    std::string req23 = sha1("req2", INFO_HASH);
    const std::string req3 = sha1("req3", secret);
    for (size_t i = 0; i < req23.size(); ++i) {
      req23[i] ^= req3[i];
    }
    auto encryptor = rc4(sha1("keyA", secret, INFO_HASH));
    // VC, crypto provide (plain and RC4), no PadC, len(IA) = 68, IA.
    const std::string negotiation = std::string(8, '\0') + std::string("\0\0\0\x03\0\0\0\x44", 8);
    std::string wire = sha1("req1", secret) + req23 + encrypted(*encryptor, negotiation + PLAIN_HS);
    wire += arc4 ? encrypted(*encryptor, HAVE_1) : HAVE_1;
    put(remote, wire);
    auto connected = connectedPeerWithPiece1();
    ASSERT_TRUE(connected);
    EXPECT_TRUE(connected->hasPiece(1));
    EXPECT_FALSE(connected->hasPiece(0));
    runtime->setHalt(true);
    engine.run(true);
    runtime->setHalt(false);
  }
}

TEST_F(EncryptedHandshakeCommandTest, ReceiverRefusesPlainHandshakeWhenEncryptionIsRequired) {
  for (const Pref* pref : {PREF_BT_REQUIRE_CRYPTO, PREF_BT_FORCE_ENCRYPTION}) {
    SCOPED_TRACE(pref->k);
    download.globalOption->put(pref, "true");
    auto pair = LoopbackPair::make();
    auto peer = std::make_shared<Peer>("127.0.0.1", 40001, true);
    engine.addCommand(std::make_unique<ReceiverMSEHandshakeCommand>(engine.newCUID(), peer, &engine,
                                                                    std::move(pair.server)));
    put(*pair.client, PLAIN_HS);
    turns(5);
    EXPECT_EQ(nullptr, connectedPeer());
    // The connection was closed without an answer.
    ASSERT_TRUE(pair.client->isReadable(5));
    EXPECT_EQ("", bytesOf(*pair.client));
    download.globalOption->put(pref, "false");
  }
}

// The remote receiver answers the negotiation and sends its handshake and a
// first message right behind PadD: the initiator hands them, decrypted, to
// the interaction, and from then on both directions run in RC4.
TEST_F(EncryptedHandshakeCommandTest, InitiatorHandsOverTheStreamThatFollowsPadD) {
  Outgoing out;
  ASSERT_NO_FATAL_FAILURE(connectToNewPeer(out));
  auto& remote = *out.accepted;
  Option remoteOption;
  remoteOption.put(PREF_BT_FORCE_ENCRYPTION, "false");
  remoteOption.put(PREF_BT_MIN_CRYPTO_LEVEL, "arc4");
  MSEHandshake b(99, out.accepted, &remoteOption);
  ASSERT_TRUE(until(
      b, remote, [&] { return b.identifyHandshakeType() == MSEHandshake::HANDSHAKE_ENCRYPTED; }));
  b.initEncryptionFacility(false);
  ASSERT_TRUE(until(b, remote, [&] { return b.receivePublicKey(); }));
  b.sendPublicKey();
  ASSERT_TRUE(until(b, remote, [&] { return b.send(); }));
  ASSERT_TRUE(until(b, remote, [&] { return b.findReceiverHashMarker(); }));
  ASSERT_TRUE(until(b, remote, [&] { return b.receiveReceiverHashAndPadCLength({download.ctx}); }));
  ASSERT_TRUE(until(b, remote, [&] { return b.receivePad(); }));
  ASSERT_TRUE(until(b, remote, [&] { return b.receiveReceiverIALength(); }));
  ASSERT_TRUE(until(b, remote, [&] { return b.receiveReceiverIA(); }));
  ASSERT_EQ(MSEHandshake::CRYPTO_ARC4, b.getNegotiatedCryptoType());
  b.sendReceiverStep2();
  auto encryptor = b.popEncryptor();
  std::string stream = PLAIN_HS + HAVE_1;
  encryptor->encrypt(stream.size(), reinterpret_cast<unsigned char*>(stream.data()),
                     reinterpret_cast<const unsigned char*>(stream.data()));
  ASSERT_TRUE(b.send());
  put(remote, stream);
  auto connected = connectedPeerWithPiece1();
  ASSERT_TRUE(connected);
  EXPECT_TRUE(connected->hasPiece(1));
  EXPECT_FALSE(connected->hasPiece(0));
  std::string answer(b.getBuffer(), b.getBuffer() + b.getBufferLength());
  answer += bytesOf(remote);
  ASSERT_GE(answer.size(), 68u);
  b.popDecryptor()->encrypt(answer.size(), reinterpret_cast<unsigned char*>(answer.data()),
                            reinterpret_cast<const unsigned char*>(answer.data()));
  EXPECT_EQ(PLAIN_HS.substr(0, 20), answer.substr(0, 20));
  EXPECT_EQ(INFO_HASH, answer.substr(28, 20));
  EXPECT_EQ(1, runtime->getConnections());
}

// A peer that drops the connection in the middle of the encrypted handshake
// is tried again with the plain handshake, unless encryption is required.
TEST_F(EncryptedHandshakeCommandTest, InitiatorRetriesInPlainOnlyWhenAllowed) {
  struct Case {
    const Pref* pref;
    bool retried;
  } cases[] = {{nullptr, true}, {PREF_BT_REQUIRE_CRYPTO, false}, {PREF_BT_FORCE_ENCRYPTION, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pref ? c.pref->k : "default");
    if (c.pref) {
      download.option->put(c.pref, "true");
    }
    Outgoing out;
    ASSERT_NO_FATAL_FAILURE(connectToNewPeer(out));
    const auto& [listener, peer, first] = out;
    // The public key and its pad arrive, then the peer hangs up.
    std::string key;
    for (int i = 0; i < 50 && key.size() < 96; ++i) {
      engine.run(true);
      first->isReadable(0);
      key += bytesOf(*first);
    }
    ASSERT_GE(key.size(), 96u);
    EXPECT_NE(PLAIN_HS.substr(0, 20), key.substr(0, 20));
    first->closeConnection();
    std::shared_ptr<SocketCore> second;
    std::string hello;
    for (int i = 0; i < 50 && hello.size() < 68; ++i) {
      engine.run(true);
      if (!second && listener->isReadable(0)) {
        second = listener->acceptConnection();
      }
      if (second) {
        hello += bytesOf(*second);
      }
    }
    if (c.retried) {
      ASSERT_GE(hello.size(), 68u);
      EXPECT_EQ(PLAIN_HS.substr(0, 20), hello.substr(0, 20));
      EXPECT_EQ(INFO_HASH, hello.substr(28, 20));
      EXPECT_EQ(1u, peerStorage->getUsedPeers().count(peer));
      EXPECT_EQ(1, runtime->getConnections());
    } else {
      EXPECT_FALSE(second);
      EXPECT_EQ(0u, peerStorage->getUsedPeers().count(peer));
      EXPECT_EQ(0, runtime->getConnections());
    }
    runtime->setHalt(true);
    engine.run(true);
    engine.run(true);
    runtime->setHalt(false);
    EXPECT_EQ(0, runtime->getConnections());
    if (c.pref) {
      download.option->put(c.pref, "false");
    }
  }
}

}  // namespace
}  // namespace quarn

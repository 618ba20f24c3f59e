#include <gtest/gtest.h>
#include <openssl/provider.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/DHKeyExchange.h"
#include "bittorrent/MSEHandshake.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/util_string.h"
#include "net/LoopbackPair.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

// RC4 lives in OpenSSL's legacy provider, which the program loads at start-up.
class LegacyProvider : public ::testing::Environment {
 public:
  void SetUp() override {
    legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
    default_ = OSSL_PROVIDER_load(nullptr, "default");
  }
  void TearDown() override {
    OSSL_PROVIDER_unload(legacy_);
    OSSL_PROVIDER_unload(default_);
  }

 private:
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const legacyProvider =
    ::testing::AddGlobalTestEnvironment(new LegacyProvider);

std::string hexOf(const unsigned char* p, size_t n) {
  return util::toHex(p, n);
}

std::shared_ptr<DownloadContext> torrentContext(const std::string& infoHash) {
  auto ctx = std::make_shared<DownloadContext>(16384, 16384, "/dl/x");
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = infoHash;
  ctx->setAttribute(CTX_ATTR_BT, attrs);
  return ctx;
}

std::shared_ptr<Option> cryptoOption(bool force, const std::string& minLevel) {
  auto op = std::make_shared<Option>();
  op->put(PREF_BT_FORCE_ENCRYPTION, force ? "true" : "false");
  op->put(PREF_BT_MIN_CRYPTO_LEVEL, minLevel);
  return op;
}

}  // namespace

TEST(ARC4EncryptorTest, KeystreamOfAKnownKeyAndInPlaceDecryption) {
  // The 40-bit key 0x0102030405 of the published RC4 test vectors.
  const unsigned char key[] = {1, 2, 3, 4, 5};
  ARC4Encryptor enc;
  enc.init(key, sizeof(key));
  unsigned char zeros[16] = {};
  unsigned char out[16];
  enc.encrypt(sizeof(zeros), out, zeros);
  EXPECT_EQ("b2396305f03dc027ccc3524a0a1118a8", hexOf(out, sizeof(out)));

  ARC4Encryptor dec;
  dec.init(key, sizeof(key));
  dec.encrypt(sizeof(out), out, out);
  EXPECT_EQ(std::string(16, '\0'), std::string(reinterpret_cast<char*>(out), 16));
}

TEST(DHKeyExchangeTest, BothSidesReachOneSecretWrittenAtFullLength) {
  const char* prime = "17";  // 23: small enough to hit leading zero bytes often
  for (int round = 0; round < 20; ++round) {
    DHKeyExchange a, b;
    a.init(prime, 8, "5", 8);
    b.init(prime, 8, "5", 8);
    a.generatePublicKey();
    b.generatePublicKey();
    unsigned char pa[1], pb[1], sa[1], sb[1];
    a.getPublicKey(pa, 1);
    b.getPublicKey(pb, 1);
    a.computeSecret(sa, 1, pb, 1);
    b.computeSecret(sb, 1, pa, 1);
    EXPECT_EQ(sa[0], sb[0]);
  }
  DHKeyExchange big;
  big.init("FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD1", 192, "2", 160);
  big.generatePublicKey();
  unsigned char small[23];
  EXPECT_THROW(big.getPublicKey(small, sizeof(small)), DlAbortEx);
  unsigned char buf[30];
  std::memset(buf, 0xff, sizeof(buf));
  size_t n = big.getPublicKey(buf, sizeof(buf));
  EXPECT_LE(n, 24u);
  for (size_t i = 24; i < sizeof(buf); ++i) {
    EXPECT_EQ(0, buf[i]) << "bytes past the key length are zeroed";
  }
}

class MSEHandshakeTest : public ::testing::Test {
 protected:
  void SetUp() override { pair_ = LoopbackPair::make(); }

  // Sends what one side queued.
  static void flush(MSEHandshake& from, SocketCore& fromSocket) {
    driveStep(fromSocket, [&] { return from.send(); });
  }

  // Runs a receiving step, reading more whenever it asks for it.
  static bool recv(MSEHandshake& h, SocketCore& socket, const std::function<bool()>& step) {
    for (int i = 0; i < 1000; ++i) {
      if (step()) {
        return true;
      }
      socket.isReadable(5);
      h.read();
    }
    return false;
  }

  LoopbackPair pair_;
  const std::string infoHash_ = std::string("0123456789abcdefghij");
};

TEST_F(MSEHandshakeTest, InitiatorAndReceiverAgreeAndTheirCiphersMatch) {
  struct Case {
    bool initiatorForce;
    const char* receiverLevel;
    MSEHandshake::CryptoType expected;
  } cases[] = {
      {false, "plain", MSEHandshake::CRYPTO_PLAIN_TEXT},
      {true, "plain", MSEHandshake::CRYPTO_ARC4},  // the initiator offers RC4 only
      {false, "arc4", MSEHandshake::CRYPTO_ARC4},  // the receiver refuses plain
  };
  for (const auto& c : cases) {
    SetUp();
    auto iop = cryptoOption(c.initiatorForce, "plain");
    auto rop = cryptoOption(false, c.receiverLevel);
    MSEHandshake a(1, pair_.client, iop.get());
    MSEHandshake b(2, pair_.server, rop.get());
    a.initEncryptionFacility(true);
    b.initEncryptionFacility(false);
    auto& as = *pair_.client;
    auto& bs = *pair_.server;
    a.sendPublicKey();
    b.sendPublicKey();
    flush(a, as);
    flush(b, bs);
    ASSERT_TRUE(recv(
        b, bs, [&] { return b.identifyHandshakeType() == MSEHandshake::HANDSHAKE_ENCRYPTED; }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receivePublicKey(); }));
    ASSERT_TRUE(recv(a, as, [&] { return a.receivePublicKey(); }));
    // The pads behind the public keys are skipped by the marker searches.
    a.initCipher(reinterpret_cast<const unsigned char*>(infoHash_.data()));
    a.sendInitiatorStep2();
    flush(a, as);
    ASSERT_TRUE(recv(b, bs, [&] { return b.findReceiverHashMarker(); }));
    ASSERT_TRUE(recv(b, bs, [&] {
      return b.receiveReceiverHashAndPadCLength(
          {torrentContext("another info hash..."), torrentContext(infoHash_)});
    }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receivePad(); }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receiveReceiverIALength(); }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receiveReceiverIA(); }));
    EXPECT_EQ(0u, b.getIALength());
    EXPECT_EQ(c.expected, b.getNegotiatedCryptoType());
    b.sendReceiverStep2();
    flush(b, bs);
    ASSERT_TRUE(recv(a, as, [&] { return a.findInitiatorVCMarker(); }));
    ASSERT_TRUE(recv(a, as, [&] { return a.receiveInitiatorCryptoSelectAndPadDLength(); }));
    ASSERT_TRUE(recv(a, as, [&] { return a.receivePad(); }));
    EXPECT_EQ(c.expected, a.getNegotiatedCryptoType());
    EXPECT_EQ(0u, a.getBufferLength());
    EXPECT_EQ(0u, b.getBufferLength());
    // The stream that follows: what one encrypts the other decrypts.
    auto aenc = a.popEncryptor();
    auto bdec = b.popDecryptor();
    unsigned char msg[5] = {'h', 'e', 'l', 'l', 'o'};
    aenc->encrypt(5, msg, msg);
    bdec->encrypt(5, msg, msg);
    EXPECT_EQ("hello", std::string(reinterpret_cast<char*>(msg), 5));
  }
}

// Reads what the peer already sent behind its public key (its pad) and
// drops it, so that the test decides what precedes the next marker.
void dropPad(MSEHandshake& h, SocketCore& socket) {
  while (socket.isReadable(0)) {
    h.read();
  }
  h.shiftBuffer(h.getBufferLength());
}

// Both markers are looked for behind at most 512 bytes of pad, however the
// bytes arrive: a longer pad fails even when the marker came with it.
TEST_F(MSEHandshakeTest, MarkersAreSoughtOnlyBehindPadsOfAtMost512Bytes) {
  struct Case {
    size_t receiverPad;
    size_t initiatorPad;
    bool receiverFinds;
    bool initiatorFinds;
  } cases[] = {
      {512, 0, true, true}, {513, 0, false, false}, {0, 512, true, true}, {0, 513, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.receiverPad) + " " + std::to_string(c.initiatorPad));
    SetUp();
    auto op = cryptoOption(false, "plain");
    MSEHandshake a(1, pair_.client, op.get());
    MSEHandshake b(2, pair_.server, op.get());
    auto& as = *pair_.client;
    auto& bs = *pair_.server;
    a.initEncryptionFacility(true);
    b.initEncryptionFacility(false);
    a.sendPublicKey();
    b.sendPublicKey();
    flush(a, as);
    flush(b, bs);
    ASSERT_TRUE(recv(b, bs, [&] { return b.receivePublicKey(); }));
    ASSERT_TRUE(recv(a, as, [&] { return a.receivePublicKey(); }));
    dropPad(b, bs);
    dropPad(a, as);
    const std::string pad(std::max(c.receiverPad, c.initiatorPad), 'x');
    // The step-2 bytes are taken off the wire and sent again behind the
    // pad, in one write.
    a.initCipher(reinterpret_cast<const unsigned char*>(infoHash_.data()));
    a.sendInitiatorStep2();
    ASSERT_TRUE(a.send());
    const std::string toReceiver = pad.substr(0, c.receiverPad) + bytesOf(bs);
    as.writeData(toReceiver.data(), toReceiver.size());
    if (!c.receiverFinds) {
      EXPECT_THROW(recv(b, bs, [&] { return b.findReceiverHashMarker(); }), DlAbortEx);
      continue;
    }
    ASSERT_TRUE(recv(b, bs, [&] { return b.findReceiverHashMarker(); }));
    ASSERT_TRUE(recv(
        b, bs, [&] { return b.receiveReceiverHashAndPadCLength({torrentContext(infoHash_)}); }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receivePad(); }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receiveReceiverIALength(); }));
    ASSERT_TRUE(recv(b, bs, [&] { return b.receiveReceiverIA(); }));
    b.sendReceiverStep2();
    ASSERT_TRUE(b.send());
    const std::string toInitiator = pad.substr(0, c.initiatorPad) + bytesOf(as);
    bs.writeData(toInitiator.data(), toInitiator.size());
    if (!c.initiatorFinds) {
      EXPECT_THROW(recv(a, as, [&] { return a.findInitiatorVCMarker(); }), DlAbortEx);
      continue;
    }
    ASSERT_TRUE(recv(a, as, [&] { return a.findInitiatorVCMarker(); }));
    ASSERT_TRUE(recv(a, as, [&] { return a.receiveInitiatorCryptoSelectAndPadDLength(); }));
    EXPECT_EQ(MSEHandshake::CRYPTO_PLAIN_TEXT, a.getNegotiatedCryptoType());
  }
}

TEST_F(MSEHandshakeTest, LegacyHandshakeIsRecognisedFromTwentyBytes) {
  auto op = cryptoOption(false, "plain");
  MSEHandshake b(2, pair_.server, op.get());
  EXPECT_EQ(MSEHandshake::HANDSHAKE_NOT_YET, b.identifyHandshakeType());
  EXPECT_TRUE(b.getWantRead());
  std::string legacy =
      "\x13"
      "BitTorrent protocol";
  pair_.client->writeData(legacy.data(), legacy.size());
  pair_.server->isReadable(5);
  b.read();
  EXPECT_EQ(MSEHandshake::HANDSHAKE_LEGACY, b.identifyHandshakeType());
}

TEST_F(MSEHandshakeTest, ReceiverWithoutTheHashMarkerWaitsUpTo532BytesThenFails) {
  auto op = cryptoOption(false, "plain");
  MSEHandshake b(2, pair_.server, op.get());
  b.initEncryptionFacility(false);
  std::string junk(636, 'x');
  pair_.client->writeData(junk.data(), 531);
  pair_.server->isReadable(5);
  b.read();
  ASSERT_EQ(531u, b.getBufferLength());
  EXPECT_FALSE(b.findReceiverHashMarker());
  EXPECT_TRUE(b.getWantRead());
  pair_.client->writeData(junk.data(), 1);
  pair_.server->isReadable(5);
  b.read();
  EXPECT_THROW(b.findReceiverHashMarker(), DlAbortEx);
}

TEST_F(MSEHandshakeTest, UnknownInfoHashAndClosedPeerFail) {
  auto op = cryptoOption(false, "plain");
  MSEHandshake b(2, pair_.server, op.get());
  b.initEncryptionFacility(false);
  std::string junk(34, 'y');
  pair_.client->writeData(junk.data(), junk.size());
  pair_.server->isReadable(5);
  b.read();
  EXPECT_THROW(b.receiveReceiverHashAndPadCLength({torrentContext(infoHash_)}), DlAbortEx);
  b.shiftBuffer(34);
  pair_.client->closeConnection();
  pair_.server->isReadable(5);
  EXPECT_THROW(b.read(), DlAbortEx);
}

}  // namespace quarn

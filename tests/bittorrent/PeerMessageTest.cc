#include <gtest/gtest.h>

#include <functional>

#include "bittorrent/BtBitfieldMessage.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtKeepAliveMessage.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtPortMessage.h"
#include "bittorrent/DHTPortReceiver.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/ZeroBtMessage.h"
#include "bittorrent/message_validators.h"
#include "foundation/DlAbortEx.h"
#include "foundation/util_string.h"
#include "storage/DownloadFixture.h"

namespace quarn {
namespace {

using namespace quarn::test;

std::span<const std::byte> bytesOf(const std::string& s) {
  return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

std::string hex(const std::vector<unsigned char>& v) {
  return util::toHex(v.data(), v.size());
}

using Decoder = std::function<std::unique_ptr<SimpleBtMessage>(std::span<const std::byte>)>;

template <typename T>
Decoder decoder() {
  return
      [](std::span<const std::byte> p) -> std::unique_ptr<SimpleBtMessage> { return T::create(p); };
}

struct Golden {
  std::function<std::unique_ptr<SimpleBtMessage>()> make;
  Decoder decode;
  const char* wire;  // hexadecimal, length prefix included
  const char* text;
};

TEST(PeerMessageTest, GoldenVectorsEncodeAndDecode) {
  const unsigned char bits[] = {0xa0, 0x0f};
  const Golden cases[] = {
      {[] { return std::make_unique<BtChokeMessage>(); }, decoder<BtChokeMessage>(), "0000000100",
       "choke"},
      {[] { return std::make_unique<BtUnchokeMessage>(); }, decoder<BtUnchokeMessage>(),
       "0000000101", "unchoke"},
      {[] { return std::make_unique<BtInterestedMessage>(); }, decoder<BtInterestedMessage>(),
       "0000000102", "interested"},
      {[] { return std::make_unique<BtNotInterestedMessage>(); }, decoder<BtNotInterestedMessage>(),
       "0000000103", "not interested"},
      {[] { return std::make_unique<BtHaveMessage>(0x01020304); }, decoder<BtHaveMessage>(),
       "000000050401020304", "have index=16909060"},
      {[&] { return std::make_unique<BtBitfieldMessage>(bits, 2); }, decoder<BtBitfieldMessage>(),
       "0000000305a00f", "bitfield a00f"},
      {[] { return std::make_unique<BtRequestMessage>(1, 16384, 16384); },
       decoder<BtRequestMessage>(), "0000000d06000000010000400000004000",
       "request index=1, begin=16384, length=16384"},
      {[] { return std::make_unique<BtCancelMessage>(2, 0, 1); }, decoder<BtCancelMessage>(),
       "0000000d08000000020000000000000001", "cancel index=2, begin=0, length=1"},
      {[] { return std::make_unique<BtPortMessage>(6881); }, decoder<BtPortMessage>(),
       "00000003091ae1", "port port=6881"},
      {[] { return std::make_unique<BtSuggestPieceMessage>(7); }, decoder<BtSuggestPieceMessage>(),
       "000000050d00000007", "suggest piece index=7"},
      {[] { return std::make_unique<BtHaveAllMessage>(); }, decoder<BtHaveAllMessage>(),
       "000000010e", "have all"},
      {[] { return std::make_unique<BtHaveNoneMessage>(); }, decoder<BtHaveNoneMessage>(),
       "000000010f", "have none"},
      {[] { return std::make_unique<BtRejectMessage>(3, 4, 5); }, decoder<BtRejectMessage>(),
       "0000000d10000000030000000400000005", "reject index=3, begin=4, length=5"},
      {[] { return std::make_unique<BtAllowedFastMessage>(9); }, decoder<BtAllowedFastMessage>(),
       "000000051100000009", "allowed fast index=9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto msg = c.make();
    const auto wire = msg->createMessage();
    EXPECT_EQ(c.wire, hex(wire));
    EXPECT_EQ(c.text, msg->toString());
    // The decoders take the payload after the 4-byte length prefix.
    const std::string payload(wire.begin() + 4, wire.end());
    auto decoded = c.decode(bytesOf(payload));
    EXPECT_EQ(c.wire, hex(decoded->createMessage()));
    EXPECT_EQ(msg->getId(), decoded->getId());
  }
  EXPECT_EQ("00000000", hex(BtKeepAliveMessage().createMessage()));
}

TEST(PeerMessageTest, HandshakeBytesAndFeatureBits) {
  const std::string infoHash(20, '\x11');
  const std::string peerId = "QN-1-37-0-abcdefghij";
  BtHandshakeMessage msg(reinterpret_cast<const unsigned char*>(infoHash.data()),
                         reinterpret_cast<const unsigned char*>(peerId.data()));
  auto wire = msg.createMessage();
  ASSERT_EQ(68u, wire.size());
  EXPECT_EQ("13" + util::toHex(std::string("BitTorrent protocol")) + "0000000000100004" +
                util::toHex(infoHash) + util::toHex(peerId),
            hex(wire));
  msg.setDHTEnabled(true);
  EXPECT_EQ("0000000000100005", hex(msg.createMessage()).substr(40, 16));
  auto decoded = BtHandshakeMessage::create(bytesOf(std::string(wire.begin(), wire.end())));
  EXPECT_TRUE(decoded->isExtendedMessagingEnabled());
  EXPECT_TRUE(decoded->isFastExtensionSupported());
  EXPECT_FALSE(decoded->isDHTEnabled());
  EXPECT_EQ("handshake peerId=QN-1-37-0-abcdefghij, reserved=0000000000100004",
            decoded->toString());
}

TEST(PeerMessageTest, DecodersRefuseMalformedPayloads) {
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[] { BtChokeMessage::create(bytesOf(std::string("\x00\x00", 2))); },
       "Invalid payload size for choke, size=2. It should be 1."},
      {[] { BtChokeMessage::create(bytesOf(std::string("\x01", 1))); },
       "Invalid ID=1 for choke. It should be 0."},
      {[] { BtChokeMessage::create(bytesOf(std::string())); },
       "Invalid payload size for choke, size=0. It should be 1."},
      {[] { BtHaveMessage::create(bytesOf(std::string("\x04\x00\x00\x00", 4))); },
       "Invalid payload size for have, size=4. It should be 5."},
      {[] { BtBitfieldMessage::create(bytesOf(std::string("\x05", 1))); },
       "Too small payload size for bitfield, size=1."},
      {[] { BtPieceMessage::create(bytesOf(std::string("\x07\0\0\0\0\0\0\0\0", 9))); },
       "Too small payload size for piece, size=9."},
      {[] { BtRequestMessage::create(bytesOf(std::string(13, '\x08'))); },
       "Invalid ID=8 for request. It should be 6."},
      {[] { BtPortMessage::create(bytesOf(std::string("\x09\x1a", 2))); },
       "Invalid payload size for port, size=2. It should be 3."},
      {[] { BtHandshakeMessage::create(bytesOf(std::string(67, 'x'))); },
       "Invalid payload size for handshake, size=67. It should be 68."},
  };
  for (const auto& [decode, message] : cases) {
    SCOPED_TRACE(message);
    try {
      decode();
      ADD_FAILURE() << "accepted";
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(std::string(message), e.what());
    }
  }
}

// Validates a T of (index, begin, length) in 10 pieces of 32 KiB.
template <typename T>
std::function<void()> range(size_t index, int32_t begin, int32_t length) {
  return [=] {
    T m(index, begin, length);
    RangeBtMessageValidator(&m, 10, 32768).validate();
  };
}

TEST(PeerMessageTest, ValidatorsRefuseWhatLiesOutsideTheTorrent) {
  // 10 pieces of 32 KiB; the named piece is 32768 bytes long.
  const size_t pieces = 10;
  const int32_t pieceLength = 32768;
  auto piece = [&](size_t index, int32_t begin) {
    return [=] {
      BtPieceMessage m(index, begin, 16384);
      BtPieceMessageValidator(&m, pieces, pieceLength).validate();
    };
  };
  const unsigned char spare[] = {0xff, 0xc1};
  const std::pair<std::function<void()>, const char*> cases[] = {
      {range<BtRequestMessage>(0, 16384, 16384), nullptr},
      {range<BtRequestMessage>(10, 0, 16384), "Invalid index: 10"},
      {range<BtRequestMessage>(0, -1, 16384), "Invalid begin: -1"},
      {range<BtRequestMessage>(0, -16384, 16384), "Invalid begin: -16384"},
      {range<BtRequestMessage>(0, 32768, 1), "Invalid begin: 32768"},
      {range<BtRequestMessage>(0, 0, 0), "Invalid length: 0"},
      {range<BtRequestMessage>(0, 0, 65537), "Length too long: 65537 > 64KB"},
      {range<BtRequestMessage>(0, 0, -1), "Invalid range: begin=0, length=-1"},
      {range<BtRequestMessage>(0, 16385, 16384), "Invalid range: begin=16385, length=16384"},
      {range<BtCancelMessage>(0, -5, 10), "Invalid begin: -5"},
      {range<BtRejectMessage>(0, 0, -2147483647 - 1), "Invalid range: begin=0, length=-2147483648"},
      {piece(9, 0), nullptr},
      {piece(9, -1), "Invalid begin: -1"},
      {piece(10, 0), "Invalid index: 10"},
      {[&] {
         BtHaveMessage m(10);
         IndexBtMessageValidator(&m, pieces).validate();
       },
       "Invalid index: 10"},
      {[&] {
         BtBitfieldMessage m(spare, 2);
         BtBitfieldMessageValidator(&m, pieces).validate();
       },
       "Invalid bitfield"},
      {[&] {
         BtBitfieldMessage m(spare, 1);
         BtBitfieldMessageValidator(&m, pieces).validate();
       },
       "Invalid bitfield length: 1"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    try {
      cases[i].first();
      EXPECT_EQ(nullptr, cases[i].second);
    } catch (const DlAbortEx& e) {
      ASSERT_NE(nullptr, cases[i].second) << e.what();
      EXPECT_EQ(std::string(cases[i].second), e.what());
    }
  }
}

TEST(PeerMessageTest, HandshakeValidator) {
  const std::string infoHash(20, '\x22');
  const auto* hash = reinterpret_cast<const unsigned char*>(infoHash.data());
  const std::string peerId(20, 'p');
  auto good = BtHandshakeMessage(hash, reinterpret_cast<const unsigned char*>(peerId.data()))
                  .createMessage();
  auto check = [&](std::vector<unsigned char> wire) {
    auto msg = BtHandshakeMessage::create(bytesOf(std::string(wire.begin(), wire.end())));
    BtHandshakeMessageValidator(msg.get(), hash).validate();
  };
  EXPECT_NO_THROW(check(good));
  auto badLength = good;
  badLength[0] = 18;
  EXPECT_THROW(check(badLength), DlAbortEx);
  auto badPstr = good;
  badPstr[1] = 'b';
  try {
    check(badPstr);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("invalid handshake pstr=bitTorrent%20protocol", std::string(e.what()));
  }
  auto otherTorrent = good;
  otherTorrent[28] = 0x33;
  try {
    check(otherTorrent);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("invalid handshake info hash: expected:" + util::toHex(infoHash) + ", actual:33" +
                  util::toHex(infoHash).substr(2),
              std::string(e.what()));
  }
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>

#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "bittorrent/compact_peer.h"
#include "bittorrent/fast_set.h"
#include "bittorrent/wire_fields.h"
#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

using namespace quarn::bittorrent;

TEST(WireFieldsTest, BigEndianFieldsRoundTrip) {
  unsigned char buf[8];
  setShortIntParam(buf, 0x1ae1);
  EXPECT_EQ(0x1a, buf[0]);
  EXPECT_EQ(0x1ae1, getShortIntParam(buf, 0));
  setIntParam(buf, 0xdeadbeef);
  EXPECT_EQ(0xde, buf[0]);
  EXPECT_EQ(0xdeadbeefu, getIntParam(buf, 0));
  setLLIntParam(buf, 0x0102030405060708ULL);
  EXPECT_EQ(0x08, buf[7]);
  EXPECT_EQ(0x0102030405060708ULL, getLLIntParam(buf, 0));
  EXPECT_EQ(0x05060708u, getIntParam(buf, 4));

  unsigned char msg[9];
  std::fill(std::begin(msg), std::end(msg), 0xff);
  createPeerMessageString(msg, sizeof(msg), 5, 4);
  const unsigned char expected[] = {0, 0, 0, 5, 4, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(expected, msg, sizeof(msg)));
}

struct CheckCase {
  const char* what;
  std::function<void()> check;
  const char* message;  // null: accepted
};

TEST(WireFieldsTest, FieldChecks) {
  const unsigned char tenPieces[] = {0xff, 0xc0};
  const unsigned char spareBitSet[] = {0xff, 0xe0};
  const unsigned char sixteen[] = {0xff, 0xff};
  const unsigned char id4[] = {4};
  const CheckCase cases[] = {
      {"index below pieces", [] { checkIndex(9, 10); }, nullptr},
      {"index at pieces", [] { checkIndex(10, 10); }, "Invalid index: 10"},
      {"begin inside", [] { checkBegin(16383, 16384); }, nullptr},
      {"begin at end", [] { checkBegin(16384, 16384); }, "Invalid begin: 16384"},
      {"negative begin", [] { checkBegin(-1, 16384); }, "Invalid begin: -1"},
      {"length 64K", [] { checkLength(65536); }, nullptr},
      {"length above 64K", [] { checkLength(65537); }, "Length too long: 65537 > 64KB"},
      {"length 0", [] { checkLength(0); }, "Invalid length: 0"},
      {"range whole piece", [] { checkRange(0, 16384, 16384); }, nullptr},
      {"range past end", [] { checkRange(1, 16384, 16384); },
       "Invalid range: begin=1, length=16384"},
      {"negative length", [] { checkRange(0, -1, 16384); }, "Invalid range: begin=0, length=-1"},
      {"zero length", [] { checkRange(0, 0, 16384); }, "Invalid range: begin=0, length=0"},
      {"negative begin in range", [] { checkRange(-16384, 16384, 16384); },
       "Invalid range: begin=-16384, length=16384"},
      {"wrapping range", [] { checkRange(2147483647, 1, 16384); },
       "Invalid range: begin=2147483647, length=1"},
      {"bitfield of 10", [&] { checkBitfield(tenPieces, 2, 10); }, nullptr},
      {"bitfield spare bit", [&] { checkBitfield(spareBitSet, 2, 10); }, "Invalid bitfield"},
      {"bitfield of 16", [&] { checkBitfield(sixteen, 2, 16); }, nullptr},
      {"bitfield too long", [&] { checkBitfield(sixteen, 2, 8); }, "Invalid bitfield length: 2"},
      {"empty bitfield, no pieces", [&] { checkBitfield(nullptr, 0, 0); }, nullptr},
      {"payload greater", [] { assertPayloadLengthGreater(1, 1, "bitfield"); },
       "Too small payload size for bitfield, size=1."},
      {"payload equal", [] { assertPayloadLengthEqual(5, 4, "have"); },
       "Invalid payload size for have, size=4. It should be 5."},
      {"id", [&] { assertID(5, id4, "bitfield"); }, "Invalid ID=4 for bitfield. It should be 5."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.check();
      EXPECT_EQ(nullptr, c.message);
    } catch (const DlAbortEx& e) {
      ASSERT_NE(nullptr, c.message) << e.what();
      EXPECT_EQ(std::string(c.message), e.what());
    }
  }
}

TEST(WireFieldsTest, CompactPeers) {
  unsigned char buf[18];
  EXPECT_EQ(6u, packcompact(buf, "127.0.0.1", 6881));
  const unsigned char v4[] = {0x7f, 0, 0, 1, 0x1a, 0xe1};
  EXPECT_EQ(0, std::memcmp(v4, buf, 6));
  EXPECT_EQ(std::make_pair(std::string("127.0.0.1"), uint16_t{6881}), unpackcompact(v4, AF_INET));
  EXPECT_EQ(18u, packcompact(buf, "::1", 80));
  EXPECT_EQ(std::make_pair(std::string("::1"), uint16_t{80}), unpackcompact(buf, AF_INET6));
  EXPECT_EQ(0u, packcompact(buf, "localhost", 80));
  EXPECT_EQ(6u, getCompactLength(AF_INET));
  EXPECT_EQ(18u, getCompactLength(AF_INET6));
  EXPECT_EQ(0u, getCompactLength(AF_UNIX));
}

TEST(WireFieldsTest, FastSetGoldenVector) {
  const std::string infoHash(20, '\xaa');
  const auto* hash = reinterpret_cast<const unsigned char*>(infoHash.data());
  EXPECT_EQ((std::vector<size_t>{363, 43, 220, 1252, 710, 1213, 1059}),
            computeFastSet("80.4.4.200", 1313, hash, 7));
  EXPECT_EQ((std::vector<size_t>{363, 43, 220, 1252, 710, 1213, 1059, 13, 1303}),
            computeFastSet("80.4.4.200", 1313, hash, 9));
  // Addresses of one /16 share the set.
  EXPECT_EQ(computeFastSet("80.4.4.200", 1313, hash, 9), computeFastSet("80.4.7.1", 1313, hash, 9));
  auto all = computeFastSet("80.4.4.200", 5, hash, 10);
  std::sort(all.begin(), all.end());
  EXPECT_EQ((std::vector<size_t>{0, 1, 2, 3, 4}), all);
  EXPECT_TRUE(computeFastSet("::1", 1313, hash, 10).empty());
  EXPECT_TRUE(computeFastSet("host", 1313, hash, 10).empty());
  EXPECT_TRUE(computeFastSet("80.4.4.200", 0, hash, 10).empty());
}

}  // namespace
}  // namespace quarn

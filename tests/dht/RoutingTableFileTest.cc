#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>
#include <string>

#include "TempDir.h"
#include "dht/DHTNode.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTRoutingTableDeserializer.h"
#include "dht/DHTRoutingTableSerializer.h"
#include "dht/DhtFixture.h"
#include "dht/save_routing_table.h"
#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

using namespace quarn::test;

const std::string LOCAL(20, 'L');
const std::string N1(20, '1');
const std::string N2(20, '2');

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string save(const TempDir& dir, int family,
                 const std::vector<std::shared_ptr<DHTNode>>& nodes) {
  DHTRoutingTableSerializer s(family);
  s.setLocalNode(dhtNode(LOCAL));
  s.setNodes(nodes);
  std::string path = dir.file("dht.dat");
  s.serialize(path);
  return path;
}

std::string header(uint32_t count, const std::string& version = std::string("\x00\x03", 2),
                   const std::string& time = std::string(8, '\x01')) {
  return std::string("\xa1\xa2\x02\x00\x00\x00", 6) + version + time + std::string(8, '\0') +
         LOCAL + std::string(4, '\0') + std::string("\x00\x00\x00", 3) + static_cast<char>(count) +
         std::string(4, '\0');
}

std::string record(char length, const std::string& compact, const std::string& id) {
  return std::string(1, length) + std::string(7, '\0') + compact +
         std::string(24 - compact.size(), '\0') + id + std::string(4, '\0');
}

const std::string ADDR1("\xc0\x00\x02\x01\x1a\xe1", 6);  // 192.0.2.1 port 6881

TEST(DHTRoutingTableFileTest, WritesTheExactLayout) {
  TempDir dir;
  std::string empty = readFile(save(dir, AF_INET, {}));
  ASSERT_EQ(56u, empty.size());
  // The save time (bytes 8-15) is the clock's; everything else is fixed.
  EXPECT_EQ(header(0).substr(0, 8), empty.substr(0, 8));
  EXPECT_EQ(header(0).substr(16), empty.substr(16));

  std::string one = readFile(save(dir, AF_INET, {dhtNode(N1, "192.0.2.1", 6881)}));
  ASSERT_EQ(112u, one.size());
  EXPECT_EQ(header(1).substr(16), one.substr(16, 40));
  EXPECT_EQ(record(6, ADDR1, N1), one.substr(56));

  std::string v6 =
      readFile(save(dir, AF_INET6, {dhtNode(N1, "2001:db8::1", 1), dhtNode(N2, "192.0.2.1", 1)}));
  ASSERT_EQ(168u, v6.size());
  const std::string addr6 =
      std::string("\x20\x01\x0d\xb8", 4) + std::string(11, '\0') + std::string("\x01\x00\x01", 3);
  EXPECT_EQ(record(18, addr6, N1), v6.substr(56, 56));
  EXPECT_EQ(record(18, "", N2), v6.substr(112)) << "an address of the other family is zeroed";
  EXPECT_FALSE(std::filesystem::exists(dir.file("dht.dat__temp")));
}

TEST(DHTRoutingTableFileTest, RoundTripKeepsIdsAddressesAndOrder) {
  TempDir dir;
  for (int family : {AF_INET, AF_INET6}) {
    bool v4 = family == AF_INET;
    std::string path = save(dir, family,
                            {dhtNode(N1, v4 ? "192.0.2.1" : "2001:db8::1", 6881),
                             dhtNode(N2, v4 ? "192.0.2.2" : "2001:db8::2", 65535)});
    DHTRoutingTableDeserializer d(family);
    d.deserialize(path);
    EXPECT_EQ(LOCAL, dhtIdString(d.getLocalNode()->getID()));
    ASSERT_EQ(2u, d.getNodes().size());
    EXPECT_EQ(N1, dhtIdString(d.getNodes()[0]->getID()));
    EXPECT_EQ(v4 ? "192.0.2.2" : "2001:db8::2", d.getNodes()[1]->getIPAddress());
    EXPECT_EQ(65535, d.getNodes()[1]->getPort());
    EXPECT_EQ(1, d.getNodes()[1]->getCondition()) << "loaded nodes must answer again";
  }
}

struct LoadCase {
  const char* what;
  std::string bytes;
  std::string error;  // empty: loads
  size_t nodes;
};

TEST(DHTRoutingTableFileTest, ReadsOldAndOddFilesAndRefusesBrokenOnes) {
  const std::string good = record(6, ADDR1, N1);
  const LoadCase cases[] = {
      {"version 2 with a 32-bit time",
       header(1, std::string("\x00\x02", 2), std::string("\x5f\x00\x00\x00\0\0\0\0", 8)) + good, "",
       1},
      {"record of the other family skipped", header(2) + record(18, "", N2) + good, "", 1},
      {"all-zero address skipped", header(2) + record(6, std::string(6, '\0'), N2) + good, "", 1},
      {"bad magic", "\xa1\xa3" + header(0).substr(2), "bad header", 0},
      {"reserved byte set", header(0).replace(4, 1, "\x01"), "bad header", 0},
      {"version 4", header(0, std::string("\x00\x04", 2)), "bad header", 0},
      {"count beyond the records", header(2) + good, "Failed to load DHT routing table.", 0},
      {"record cut short", header(1) + good.substr(0, 40), "Failed to load DHT routing table.", 0},
      {"header cut short", header(0).substr(0, 30), "Failed to load DHT routing table.", 0},
      {"empty file", "", "Failed to load DHT routing table.", 0},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.file("dht.dat");
    writeFile(path, c.bytes);
    DHTRoutingTableDeserializer d(AF_INET);
    if (c.error.empty()) {
      d.deserialize(path);
      EXPECT_EQ(c.nodes, d.getNodes().size());
      EXPECT_EQ(N1, dhtIdString(d.getNodes().back()->getID()));
      continue;
    }
    try {
      d.deserialize(path);
      ADD_FAILURE() << "loaded";
    } catch (const DlAbortEx& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find(c.error)) << e.what();
    }
    EXPECT_FALSE(d.getLocalNode()) << "nothing of a failed load is kept";
    EXPECT_TRUE(d.getNodes().empty());
  }
}

TEST(DHTRoutingTableFileTest, MissingFileAndUnwritableDirectoryFail) {
  TempDir dir;
  DHTRoutingTableDeserializer d(AF_INET);
  EXPECT_THROW(d.deserialize(dir.file("absent.dat")), DlAbortEx);
  DHTRoutingTableSerializer s(AF_INET);
  s.setLocalNode(dhtNode(LOCAL));
  EXPECT_THROW(s.serialize(dir.file("no/such/dir/dht.dat")), DlAbortEx);
  writeFile(dir.file("keep.dat"), "old");
  std::filesystem::create_directory(dir.file("keep.dat__temp"));
  EXPECT_THROW(s.serialize(dir.file("keep.dat")), DlAbortEx);
  EXPECT_EQ("old", readFile(dir.file("keep.dat"))) << "a failed save leaves the old file";
}

TEST(DHTRoutingTableFileTest, SavingATableKeepsNodesThatAreNotBadInBucketOrder) {
  TempDir dir;
  auto local = dhtNode(dhtId({0x00}));
  DHTRoutingTable table(local);
  for (unsigned char i = 1; i <= 8; ++i) {
    table.addNode(dhtNode(dhtId({0x80}, i), "192.0.2.1", i));
  }
  auto bad = dhtNode(dhtId({0x10}), "192.0.2.2", 1);
  table.addNode(dhtNode(dhtId({0x20}), "192.0.2.3", 1));  // splits: lower bucket
  table.addNode(bad);
  bad->markBad();
  std::string path = dir.file("new/dir/dht.dat");
  dht::saveRoutingTable(path, AF_INET, local, table);
  DHTRoutingTableDeserializer d(AF_INET);
  d.deserialize(path);
  ASSERT_EQ(9u, d.getNodes().size());
  EXPECT_EQ(dhtId({0x20}), dhtIdString(d.getNodes()[0]->getID())) << "lower bucket first";
  EXPECT_EQ(dhtId({0x80}, 8), dhtIdString(d.getNodes()[8]->getID()));

  writeFile(dir.file("blocker"), "");
  EXPECT_NO_THROW(dht::saveRoutingTable(dir.file("blocker/dht.dat"), AF_INET, local, table))
      << "a failed save is logged, not thrown";
}

}  // namespace
}  // namespace quarn

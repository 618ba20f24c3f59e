#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dht/DHTBucket.h"
#include "dht/DHTIDCloser.h"
#include "dht/DHTNode.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DhtFixture.h"
#include "foundation/util_string.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

std::string hexOf(const unsigned char* id) {
  return util::toHex(id, DHT_ID_LENGTH);
}

std::string firstByte(const unsigned char* id) {
  return util::toHex(id, 1);
}

TEST(DHTNodeTest, ConditionAndContactMakeItGoodQuestionableOrBad) {
  WallclockShift clock;
  auto node = dhtNode(dhtId({1}));
  EXPECT_TRUE(node->isQuestionable()) << "never heard from";
  node->markGood();
  node->updateLastContact();
  EXPECT_TRUE(node->isGood());
  for (int i = 0; i < 4; ++i) {
    node->timeout();
  }
  EXPECT_FALSE(node->isBad());
  node->timeout();
  EXPECT_TRUE(node->isBad());
  EXPECT_FALSE(node->isQuestionable());
  node->markGood();
  clock.advance(899s);
  EXPECT_TRUE(node->isGood());
  clock.advance(1s);
  EXPECT_TRUE(node->isQuestionable());
  EXPECT_EQ(*node, *dhtNode(dhtId({1}), "192.0.2.9", 1)) << "equal by id alone";
}

struct SplitCase {
  const char* what;
  unsigned char localHead;
  std::vector<unsigned char> heads;  // first id byte of each node added, in order
  std::vector<std::string> buckets;  // "prefix min-first-byte max-first-byte count"
  int refused;
};

TEST(DHTRoutingTableTest, BucketsSplitAroundTheLocalId) {
  const SplitCase cases[] = {
      {"fresh table", 0x00, {}, {"0 00 ff 0"}, 0},
      {"one bucket holds eight",
       0x00,
       {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87},
       {"0 00 ff 8"},
       0},
      {"ninth far node splits once and is refused",
       0x00,
       {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},
       {"1 00 7f 0", "1 80 ff 8"},
       1},
      {"the local half splits again",
       0x00,
       {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46,
        0x47, 0x20},
       {"2 00 3f 1", "2 40 7f 8", "1 80 ff 8"},
       0},
      {"local id in the upper half",
       0xff,
       {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xc0},
       {"1 00 7f 8", "1 80 ff 1"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto local = dhtNode(dhtId({c.localHead}, 0xee));
    DHTRoutingTable table(local);
    int refused = 0;
    for (size_t i = 0; i < c.heads.size(); ++i) {
      if (!table.addNode(dhtNode(dhtId({c.heads[i]}, static_cast<unsigned char>(i))))) {
        ++refused;
      }
    }
    std::vector<std::shared_ptr<DHTBucket>> buckets;
    table.getBuckets(buckets);
    std::vector<std::string> got;
    for (const auto& b : buckets) {
      got.push_back(std::to_string(b->getPrefixLength()) + " " + firstByte(b->getMinID()) + " " +
                    firstByte(b->getMaxID()) + " " + std::to_string(b->getNodes().size()));
    }
    EXPECT_EQ(c.buckets, got);
    EXPECT_EQ(static_cast<int>(c.buckets.size()), table.getNumBucket());
    EXPECT_EQ(c.refused, refused);
  }
}

TEST(DHTRoutingTableTest, SplitRangesAreExactHalves) {
  auto local = dhtNode(dhtId({0x00}));
  DHTRoutingTable table(local);
  for (unsigned char i = 0; i < 9; ++i) {
    table.addNode(dhtNode(dhtId({0x80}, i + 1)));
  }
  std::vector<std::shared_ptr<DHTBucket>> buckets;
  table.getBuckets(buckets);
  ASSERT_EQ(2u, buckets.size());
  EXPECT_EQ("0000000000000000000000000000000000000000", hexOf(buckets[0]->getMinID()));
  EXPECT_EQ("7fffffffffffffffffffffffffffffffffffffff", hexOf(buckets[0]->getMaxID()));
  EXPECT_EQ("8000000000000000000000000000000000000000", hexOf(buckets[1]->getMinID()));
  EXPECT_EQ("ffffffffffffffffffffffffffffffffffffffff", hexOf(buckets[1]->getMaxID()));
}

TEST(DHTRoutingTableTest, LocalIdRefusedAndAnsweringNodeCachedWhenFull) {
  auto local = dhtNode(dhtId({0x00}));
  DHTRoutingTable table(local);
  EXPECT_FALSE(table.addGoodNode(dhtNode(dhtId({0x00}))));
  for (unsigned char i = 0; i < 8; ++i) {
    ASSERT_TRUE(table.addNode(dhtNode(dhtId({0x80}, i + 1))));
  }
  EXPECT_FALSE(table.addNode(dhtNode(dhtId({0x90}))));
  EXPECT_TRUE(table.getBucketFor(uc(dhtId({0x90})))->getCachedNodes().empty());
  EXPECT_FALSE(table.addGoodNode(dhtNode(dhtId({0x91}))));
  ASSERT_EQ(1u, table.getBucketFor(uc(dhtId({0x91})))->getCachedNodes().size());
  auto known = table.getNode(uc(dhtId({0x80}, 1)), "", 0);
  ASSERT_TRUE(known);
  EXPECT_FALSE(table.getNode(uc(dhtId({0x80}, 1)), "192.0.2.1", 0)) << "address must match";
}

std::vector<unsigned char> tails(const std::deque<std::shared_ptr<DHTNode>>& nodes) {
  std::vector<unsigned char> out;
  for (const auto& n : nodes) {
    out.push_back(n->getID()[DHT_ID_LENGTH - 1]);
  }
  return out;
}

TEST(DHTBucketTest, AdmissionRefreshesKnownNodesAndReplacesOnlyBadHeads) {
  auto local = dhtNode(dhtId({0x00}));
  DHTBucket bucket(local);
  std::vector<std::shared_ptr<DHTNode>> nodes;
  for (unsigned char i = 1; i <= 8; ++i) {
    nodes.push_back(dhtNode(dhtId({0x80}, i)));
    ASSERT_TRUE(bucket.addNode(nodes.back()));
  }
  EXPECT_TRUE(bucket.addNode(dhtNode(dhtId({0x80}, 1)))) << "known id is re-added when full";
  EXPECT_EQ((std::vector<unsigned char>{2, 3, 4, 5, 6, 7, 8, 1}), tails(bucket.getNodes()));

  nodes[1]->markGood();  // the head now
  for (int i = 0; i < 4; ++i) {
    nodes[1]->timeout();
  }
  EXPECT_FALSE(bucket.addNode(dhtNode(dhtId({0x80}, 9)))) << "condition 4 head stays";
  nodes[1]->timeout();
  EXPECT_TRUE(bucket.addNode(dhtNode(dhtId({0x80}, 9))));
  EXPECT_EQ((std::vector<unsigned char>{3, 4, 5, 6, 7, 8, 1, 9}), tails(bucket.getNodes()));

  bucket.moveToHead(nodes[7]);
  EXPECT_EQ(8, bucket.getNodes().front()->getID()[DHT_ID_LENGTH - 1]);
  bucket.moveToTail(nodes[7]);
  EXPECT_EQ(8, bucket.getNodes().back()->getID()[DHT_ID_LENGTH - 1]);
}

TEST(DHTBucketTest, CacheKeepsTwoNewestAndDropReplacesFromIt) {
  auto local = dhtNode(dhtId({0x00}));
  DHTBucket bucket(local);
  auto stored = dhtNode(dhtId({0x10}, 1));
  bucket.addNode(stored);
  stored->markBad();
  bucket.dropNode(stored);
  EXPECT_EQ(1u, bucket.getNodes().size()) << "nothing to replace it with";

  for (unsigned char i = 1; i <= 3; ++i) {
    bucket.cacheNode(dhtNode(dhtId({0x20}, i)));
  }
  EXPECT_EQ((std::vector<unsigned char>{3, 2}), tails(bucket.getCachedNodes()));
  bucket.dropNode(dhtNode(dhtId({0x30})));
  EXPECT_EQ(2u, bucket.getCachedNodes().size()) << "absent node changes nothing";
  bucket.dropNode(stored);
  EXPECT_EQ((std::vector<unsigned char>{3}), tails(bucket.getNodes()));
  EXPECT_EQ((std::vector<unsigned char>{2}), tails(bucket.getCachedNodes()));
}

TEST(DHTBucketTest, DeepestBucketNeverSplits) {
  auto local = dhtNode(dhtId({0x00}));
  std::string max = dhtId({0x00}, 1);
  DHTBucket bucket(159, uc(max), uc(dhtId({0x00})), local);
  EXPECT_TRUE(bucket.isInRange(local));
  EXPECT_FALSE(bucket.splitAllowed());
  DHTBucket top(158, uc(dhtId({0x00}, 3)), uc(dhtId({0x00})), local);
  EXPECT_TRUE(top.splitAllowed());
  DHTBucket away(1, uc(std::string(20, '\xff')), uc(dhtId({0x80})), local);
  EXPECT_FALSE(away.splitAllowed()) << "local id out of range";
}

TEST(DHTBucketTest, RandomIdStaysInRangeAndRefreshFollowsFillAndAge) {
  auto local = dhtNode(dhtId({0x00}));
  std::string max = dhtId({0xab, 0xff});
  max.replace(2, 18, std::string(18, '\xff'));
  DHTBucket bucket(9, uc(max), uc(dhtId({0xab, 0x80})), local);
  unsigned char id[DHT_ID_LENGTH];
  for (int i = 0; i < 20; ++i) {
    bucket.getRandomNodeID(id);
    EXPECT_EQ("ab80", util::toHex(id, 2));
    EXPECT_TRUE(bucket.isInRange(id));
  }

  WallclockShift clock;
  DHTBucket full(local);
  for (unsigned char i = 1; i <= 8; ++i) {
    full.addNode(dhtNode(dhtId({0x80}, i)));
  }
  DHTBucket partial(local);
  partial.addNode(dhtNode(dhtId({0x80})));
  clock.advance(1s);
  EXPECT_TRUE(partial.needsRefresh());
  EXPECT_FALSE(full.needsRefresh());
  clock.advance(899s);
  EXPECT_TRUE(full.needsRefresh());
}

TEST(DHTRoutingTableTest, ClosestNodesSkipBadOnesAndStopAtEight) {
  auto local = dhtNode(dhtId({0x00}));
  {
    DHTRoutingTable table(local);
    auto bad = dhtNode(dhtId({0x40}, 2));
    table.addNode(dhtNode(dhtId({0x40}, 1)));
    table.addNode(bad);
    table.addNode(dhtNode(dhtId({0x40}, 3)));
    bad->markBad();
    std::vector<std::shared_ptr<DHTNode>> nodes;
    table.getClosestKNodes(nodes, uc(dhtId({0x40})));
    ASSERT_EQ(2u, nodes.size());
  }
  DHTRoutingTable table(local);
  for (unsigned char i = 1; i <= 8; ++i) {
    table.addNode(dhtNode(dhtId({0x80}, i)));
  }
  for (unsigned char i = 1; i <= 5; ++i) {
    table.addNode(dhtNode(dhtId({0x40}, i)));
  }
  ASSERT_EQ(2, table.getNumBucket());
  std::vector<std::shared_ptr<DHTNode>> nodes;
  table.getClosestKNodes(nodes, uc(dhtId({0x41})));
  ASSERT_EQ(8u, nodes.size());
  // The key's own bucket first, then the neighbour fills up to eight.
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(0x40, nodes[i]->getID()[0]);
  }
  EXPECT_EQ(0x80, nodes[5]->getID()[0]);
}

struct CloserCase {
  std::string target;
  std::vector<std::string> ids;     // added in this order
  std::vector<std::string> sorted;  // nearest first
};

TEST(DHTIDCloserTest, SortsByXorDistanceToTarget) {
  const CloserCase cases[] = {
      {dhtId({0x00}),
       {dhtId({0x03}), dhtId({0x01}), dhtId({0x80}), dhtId({0x02})},
       {dhtId({0x01}), dhtId({0x02}), dhtId({0x03}), dhtId({0x80})}},
      {dhtId({0xff}),
       {dhtId({0x00}), dhtId({0xf0}), dhtId({0xfe}), dhtId({0x7f})},
       {dhtId({0xfe}), dhtId({0xf0}), dhtId({0x7f}), dhtId({0x00})}},
      // Distance, not numeric nearness: 0x10 ^ 0x0f = 0x1f, 0x10 ^ 0x30 = 0x20.
      {dhtId({0x10}),
       {dhtId({0x30}), dhtId({0x0f}), dhtId({0x10}, 1)},
       {dhtId({0x10}, 1), dhtId({0x0f}), dhtId({0x30})}},
  };
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<DHTNodeLookupEntry>> entries;
    for (const auto& id : c.ids) {
      entries.push_back(std::make_unique<DHTNodeLookupEntry>(dhtNode(id)));
    }
    std::sort(entries.begin(), entries.end(), DHTIDCloser(uc(c.target)));
    std::vector<std::string> got;
    for (const auto& e : entries) {
      got.emplace_back(reinterpret_cast<const char*>(e->node->getID()), DHT_ID_LENGTH);
    }
    EXPECT_EQ(c.sorted, got) << util::toHex(c.target);
  }
}

}  // namespace
}  // namespace quarn

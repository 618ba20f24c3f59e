#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <deque>
#include <string>

#include "dht/DHTBucket.h"
#include "dht/DHTConnectionImpl.h"
#include "dht/DHTFindNodeReplyMessage.h"
#include "dht/DHTGetPeersReplyMessage.h"
#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcherImpl.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "dht/receive_datagrams.h"
#include "foundation/DlAbortEx.h"
#include "net/SocketCore.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

const std::string LOCAL = dhtId({0x00}, 0xaa);
const std::string PEER = dhtId({0x80}, 0xbb);
const std::string V("1:v4:QN\x00\x03", 9);

struct Transport : LiveDht {
  Transport() : LiveDht(LOCAL) {}
};

std::string pingReply(const std::string& tid, const std::string& id = PEER) {
  return "d1:rd2:id20:" + id + "e1:t" + std::to_string(tid.size()) + ":" + tid + "1:y1:re";
}

struct MatchCase {
  const char* what;
  std::string queried;
  std::string from;
  uint16_t port;
  bool matches;
};

TEST(DHTMessageTrackerTest, RepliesMatchTransactionAddressAndPort) {
  const MatchCase cases[] = {
      {"same address", "192.0.2.1", "192.0.2.1", 6881, true},
      {"reply in mapped form", "192.0.2.1", "::ffff:192.0.2.1", 6881, true},
      {"query in mapped form", "::ffff:192.0.2.1", "192.0.2.1", 6881, true},
      {"other port", "192.0.2.1", "192.0.2.1", 6882, false},
      {"other address", "192.0.2.1", "192.0.2.2", 6881, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Transport t;
    std::string tid = t.ping(dhtNode(PEER, c.queried, 6881));
    auto m = t.receive(pingReply(tid), c.from, c.port);
    EXPECT_EQ(c.matches ? "ping" : "unknown", m->getMessageType());
    EXPECT_EQ(c.matches ? 0u : 1u, t.tracker->countEntry());
    EXPECT_EQ(c.matches ? std::vector<std::string>{"ping reply"} : std::vector<std::string>{},
              t.log);
  }
}

TEST(DHTMessageTrackerTest, SameTransactionIdToTwoNodesMatchesOnlyTheSender) {
  Transport t;
  for (const char* addr : {"192.0.2.1", "192.0.2.2"}) {
    t.dispatcher.addMessageToQueue(t.factory.createPingMessage(dhtNode(PEER, addr, 1), "tt"),
                                   std::make_unique<RecordingCallback>(t.log));
  }
  t.dispatcher.sendMessages();
  t.receive(pingReply("tt"), "192.0.2.2", 1);
  ASSERT_EQ(1u, t.tracker->countEntry());
  auto left = t.factory.createPingMessage(dhtNode(PEER, "192.0.2.1", 1), "tt");
  EXPECT_TRUE(t.tracker->getEntryFor(*left));
}

TEST(DHTMessageTrackerTest, SilenceTimesOutAndFiveInARowDropTheNode) {
  WallclockShift clock;
  Transport t;
  auto node = dhtNode(PEER, "192.0.2.1", 6881);
  node->markGood();
  t.table.addNode(node);
  t.table.getBucketFor(node)->cacheNode(dhtNode(dhtId({0x90}), "192.0.2.9", 1));
  for (int i = 1; i <= 5; ++i) {
    t.ping(node);
    clock.advance(9s);
    t.receiver.handleTimeout();
    EXPECT_EQ(1u, t.tracker->countEntry()) << "not yet";
    clock.advance(1s);
    t.receiver.handleTimeout();
    EXPECT_EQ(0u, t.tracker->countEntry());
    EXPECT_EQ(static_cast<size_t>(i), t.log.size());
  }
  EXPECT_EQ("timeout 192.0.2.1", t.log.back());
  EXPECT_TRUE(node->isBad());
  EXPECT_EQ(10000, node->getRTT());
  EXPECT_FALSE(t.table.getNode(uc(PEER), "192.0.2.1", 6881)) << "replaced from the cache";
}

TEST(DHTMessageTrackerTest, ErrorOrBrokenReplyCountsAsTimeout) {
  for (const std::string& body : {std::string("d1:eli201e1:xe1:t2:tt1:y1:ee"),
                                  std::string("d1:rd2:id3:abce1:t2:tt1:y1:re")}) {
    Transport t;
    auto node = dhtNode(PEER, "192.0.2.1", 6881);
    t.dispatcher.addMessageToQueue(t.factory.createPingMessage(node, "tt"),
                                   std::make_unique<RecordingCallback>(t.log));
    t.dispatcher.sendMessages();
    EXPECT_EQ("unknown", t.receive(body, "192.0.2.1", 6881)->getMessageType());
    EXPECT_EQ(std::vector<std::string>{"timeout 192.0.2.1"}, t.log);
    EXPECT_EQ(2, node->getCondition());
    EXPECT_EQ(0u, t.tracker->countEntry());
  }
}

TEST(DHTMessageTrackerTest, ReplyWithNewIdDropsTheOldNodeAndAddsTheNewOne) {
  Transport t;
  auto old = dhtNode(dhtId({0x70}), "192.0.2.1", 6881);
  t.table.addNode(old);
  t.table.getBucketFor(old)->cacheNode(dhtNode(dhtId({0x71}), "192.0.2.7", 1));
  std::string tid = t.ping(old);
  t.receive(pingReply(tid, PEER), "192.0.2.1", 6881);
  EXPECT_EQ(std::vector<std::string>{"ping reply"}, t.log);
  EXPECT_FALSE(t.table.getNode(old->getID(), "192.0.2.1", 6881));
  auto added = t.table.getNode(uc(PEER), "192.0.2.1", 6881);
  ASSERT_TRUE(added);
  EXPECT_TRUE(added->isGood());
}

TEST(DHTMessageDispatcherTest, BlockedSendKeepsTheRestInOrderAndOnlyQueriesAreTracked) {
  struct BlockThird : RecordingConnection {
    ssize_t sendMessage(const unsigned char* d, size_t l, const std::string& h,
                        uint16_t p) override {
      return h == "192.0.2.3" && blockOnce-- > 0 ? 0 : RecordingConnection::sendMessage(d, l, h, p);
    }
    int blockOnce = 1;
  } conn;
  Transport fresh;
  fresh.factory.setConnection(&conn);
  for (unsigned char i = 1; i <= 5; ++i) {
    auto node = dhtNode(PEER, "192.0.2." + std::to_string(i), 1);
    if (i == 2) {
      fresh.dispatcher.addMessageToQueue(fresh.factory.createPingReplyMessage(node, uc(LOCAL), "r"),
                                         nullptr);
    } else {
      fresh.dispatcher.addMessageToQueue(fresh.factory.createPingMessage(node, ""), nullptr);
    }
  }
  fresh.dispatcher.sendMessages();
  EXPECT_EQ(2u, conn.sent.size());
  EXPECT_EQ(3u, fresh.dispatcher.countMessageInQueue());
  EXPECT_EQ(1u, fresh.tracker->countEntry()) << "the reply is not tracked";
  fresh.dispatcher.sendMessages();
  ASSERT_EQ(5u, conn.sent.size());
  EXPECT_EQ("192.0.2.3", conn.sent[2].host);
  EXPECT_EQ("192.0.2.5", conn.sent[4].host);
  EXPECT_EQ(4u, fresh.tracker->countEntry());
}

TEST(DHTMessageDispatcherTest, FailedSendTimesTheQueryOutAtOnce) {
  struct Failing : RecordingConnection {
    ssize_t sendMessage(const unsigned char*, size_t, const std::string&, uint16_t) override {
      throw DL_ABORT_EX("no route");
    }
  } conn;
  Transport t;
  t.factory.setConnection(&conn);
  t.ping(dhtNode(PEER, "192.0.2.1", 1));
  EXPECT_EQ(0u, t.dispatcher.countMessageInQueue());
  t.receiver.handleTimeout();
  EXPECT_EQ(std::vector<std::string>{"timeout 192.0.2.1"}, t.log);
}

TEST(DHTMessageReceiverTest, QueriesAreAnsweredAndTheirSenderBecomesGood) {
  Transport t;
  auto m =
      t.receive("d1:ad2:id20:" + PEER + "e1:q4:ping1:t2:ab" + V + "1:y1:qe", "192.0.2.1", 6881);
  EXPECT_EQ("ping", m->getMessageType());
  EXPECT_EQ(1u, t.dispatcher.countMessageInQueue());
  auto sender = t.table.getNode(uc(PEER), "192.0.2.1", 6881);
  ASSERT_TRUE(sender);
  EXPECT_TRUE(sender->isGood());
}

TEST(DHTMessageReceiverTest, UnusableDatagramsBecomeUnknownAndGetNoAnswer) {
  const std::string cases[] = {
      "d1:y1:qe",
      "i42e",
      "d1:t2:tte",
      "d1:yi1ee",
      "not bencode",
      "d1:ad2:id20:" + LOCAL + "e1:q4:ping1:t2:ab1:y1:qe",  // from our own id
      pingReply("zz"),                                      // answers nothing we sent
      "d1:ad2:id20:" + PEER + "9:info_hash20:" + PEER +
          "4:porti1e5:token1:xe1:q13:announce_peer1:t1:x1:y1:qe",  // bad token
  };
  for (const auto& bytes : cases) {
    SCOPED_TRACE(bytes);
    Transport t;
    EXPECT_EQ("unknown", t.receive(bytes, "192.0.2.1", 6881)->getMessageType());
    EXPECT_EQ(0u, t.dispatcher.countMessageInQueue());
    EXPECT_FALSE(t.table.getNode(uc(PEER), "192.0.2.1", 6881));
    EXPECT_FALSE(t.storage.contains(uc(PEER)));
  }
}

TEST(ReceiveDatagramsTest, FloodIsHandledAcrossTurnsAndOthersGoElsewhere) {
  Transport t;
  RecordingConnection conn;
  for (int i = 0; i < 200; ++i) {
    conn.incoming.push_back(i % 2 ? "d1:y1:qe" : std::string("\x00\x00\x00\x01", 4));
  }
  size_t others = 0;
  auto other = [&](const unsigned char*, size_t, const std::string&, uint16_t) { ++others; };
  EXPECT_EQ(dht::MAX_DATAGRAMS_PER_TURN, dht::receiveDatagrams(conn, t.receiver, other));
  EXPECT_EQ(dht::MAX_DATAGRAMS_PER_TURN / 2, others);
  EXPECT_EQ(200 - dht::MAX_DATAGRAMS_PER_TURN, dht::receiveDatagrams(conn, t.receiver, other));
  EXPECT_EQ(100u, others);
  EXPECT_EQ(0u, dht::receiveDatagrams(conn, t.receiver, nullptr));
}

TEST(DHTConnectionImplTest, BothFamiliesBindOnePortAndCarryDatagrams) {
  DHTConnectionImpl v4(AF_INET);
  uint16_t port = 0;
  ASSERT_TRUE(v4.bind(port, "127.0.0.1"));
  ASSERT_NE(0, port);
  DHTConnectionImpl v6(AF_INET6);
  uint16_t port6 = port;
  if (v6.bind(port6, "::1")) {
    EXPECT_EQ(port, port6) << "the IPv6 socket leaves the IPv4 one its port";
  }
  DHTConnectionImpl sender(AF_INET);
  uint16_t sport = 0;
  ASSERT_TRUE(sender.bind(sport, "127.0.0.1"));
  ASSERT_EQ(5, sender.sendMessage(uc("hello"), 5, "127.0.0.1", port));
  unsigned char buf[16];
  std::string host;
  uint16_t from = 0;
  ssize_t r = 0;
  // The datagram is on loopback; wait for the socket to become readable.
  ASSERT_TRUE(v4.getSocket()->isReadable(5));
  r = v4.receiveMessage(buf, sizeof(buf), host, from);
  EXPECT_EQ(5, r);
  EXPECT_EQ("127.0.0.1", host);
  EXPECT_EQ(sport, from);
  EXPECT_EQ(0, v4.receiveMessage(buf, sizeof(buf), host, from)) << "nothing more waiting";

  DHTConnectionImpl ranged(AF_INET);
  uint16_t chosen = 0;
  EXPECT_TRUE(ranged.bind(chosen, "127.0.0.1", {0}));
  EXPECT_NE(0, chosen) << "the port bound is written back";
}

TEST(DHTConnectionImplTest, PortListIsTriedUntilOneBinds) {
  DHTConnectionImpl first(AF_INET), second(AF_INET);
  uint16_t p1 = 0, p2 = 0;
  ASSERT_TRUE(first.bind(p1, "127.0.0.1"));
  ASSERT_TRUE(second.bind(p2, "127.0.0.1"));
  // Two taken ports and the system's choice, tried in random order: only
  // the last can be bound, whatever the order.
  for (int i = 0; i < 8; ++i) {
    DHTConnectionImpl conn(AF_INET);
    uint16_t port = 0;
    ASSERT_TRUE(conn.bind(port, "127.0.0.1", {p1, p2, 0}));
    EXPECT_NE(0, port);
    EXPECT_NE(p1, port);
    EXPECT_NE(p2, port);
  }
  DHTConnectionImpl none(AF_INET);
  uint16_t port = 0;
  EXPECT_FALSE(none.bind(port, "127.0.0.1", {p1, p2}));
}

TEST(DHTConnectionImplTest, IPv6SocketTakesOnlyIPv6SoBothFamiliesShareTheAnyAddressPort) {
  DHTConnectionImpl probe(AF_INET6);
  uint16_t probePort = 0;
  if (!probe.bind(probePort, "::1")) {
    GTEST_SKIP() << "no IPv6 here";
  }
  DHTConnectionImpl v4(AF_INET);
  uint16_t port = 0;
  ASSERT_TRUE(v4.bind(port, ""));
  DHTConnectionImpl v6(AF_INET6);
  uint16_t port6 = port;
  // Without IPV6_V6ONLY the IPv6 any-address socket would claim the IPv4
  // port as well and this bind would fail.
  ASSERT_TRUE(v6.bind(port6, ""));
  EXPECT_EQ(port, port6);
  int on = 0;
  socklen_t len = sizeof(on);
  ASSERT_EQ(0, getsockopt(v6.getSocket()->getSockfd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, &len));
  EXPECT_EQ(1, on);
}

}  // namespace
}  // namespace quarn

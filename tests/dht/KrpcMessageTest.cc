#include <gtest/gtest.h>
#include <sys/socket.h>

#include <functional>
#include <string>

#include "bittorrent/Peer.h"
#include "dht/DHTAnnouncePeerMessage.h"
#include "dht/DHTFindNodeMessage.h"
#include "dht/DHTFindNodeReplyMessage.h"
#include "dht/DHTGetPeersMessage.h"
#include "dht/DHTGetPeersReplyMessage.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTPingReplyMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/bencode2.h"

namespace quarn {
namespace {

using namespace quarn::test;

const std::string A(20, 'A');  // the local node
const std::string B(20, 'B');  // the remote node
const std::string C(20, 'C');  // a reported node
const std::string H(20, 'H');  // an info hash
const std::string T(20, 'T');  // a find_node target
const std::string TOKEN(20, 'K');
const std::string V("1:v4:QN\x00\x03", 9);
// 192.0.2.1 port 6881 and 192.0.2.2 port 6882 in compact form.
const std::string ADDR1("\xc0\x00\x02\x01\x1a\xe1", 6);
const std::string ADDR2("\xc0\x00\x02\x02\x1a\xe2", 6);
// 2001:db8::1 port 6881 in compact form.
const std::string ADDR6 =
    std::string("\x20\x01\x0d\xb8", 4) + std::string(11, '\0') + std::string("\x01\x1a\xe1", 3);

struct DhtWorld : FakeDht {
  explicit DhtWorld(int family = AF_INET) : FakeDht(family, A) {}
};

struct GoldenCase {
  const char* what;
  std::function<std::unique_ptr<DHTAbstractMessage>(DhtWorld&, const std::shared_ptr<DHTNode>&)>
      make;
  std::string bytes;
  bool query;
  int family = AF_INET;
};

std::vector<GoldenCase> goldenCases() {
  using W = DhtWorld;
  using N = std::shared_ptr<DHTNode>;
  return {
      {"ping", [](W& w, const N& r) { return w.factory.createPingMessage(r, "tt"); },
       "d1:ad2:id20:" + A + "e1:q4:ping1:t2:tt" + V + "1:y1:qe", true},
      {"ping reply",
       [](W& w, const N& r) { return w.factory.createPingReplyMessage(r, uc(A), "tt"); },
       "d1:rd2:id20:" + A + "e1:t2:tt" + V + "1:y1:re", false},
      {"find_node",
       [](W& w, const N& r) { return w.factory.createFindNodeMessage(r, uc(T), "tt"); },
       "d1:ad2:id20:" + A + "6:target20:" + T + "e1:q9:find_node1:t2:tt" + V + "1:y1:qe", true},
      {"find_node reply",
       [](W& w, const N& r) {
         return w.factory.createFindNodeReplyMessage(r, {dhtNode(C, "192.0.2.1", 6881)}, "tt");
       },
       "d1:rd2:id20:" + A + "5:nodes26:" + C + ADDR1 + "e1:t2:tt" + V + "1:y1:re", false},
      {"get_peers",
       [](W& w, const N& r) { return w.factory.createGetPeersMessage(r, uc(H), "tt"); },
       "d1:ad2:id20:" + A + "9:info_hash20:" + H + "e1:q9:get_peers1:t2:tt" + V + "1:y1:qe", true},
      {"get_peers reply",
       [](W& w, const N& r) {
         return w.factory.createGetPeersReplyMessage(r, {dhtNode(C, "192.0.2.1", 6881)},
                                                     {std::make_shared<Peer>("192.0.2.2", 6882)},
                                                     TOKEN, "tt");
       },
       "d1:rd2:id20:" + A + "5:nodes26:" + C + ADDR1 + "5:token20:" + TOKEN +
           "6:valuesl6:" + ADDR2 + "ee1:t2:tt" + V + "1:y1:re",
       false},
      {"announce_peer",
       [](W& w, const N& r) {
         return w.factory.createAnnouncePeerMessage(r, uc(H), 6881, TOKEN, "tt");
       },
       "d1:ad2:id20:" + A + "9:info_hash20:" + H + "4:porti6881e5:token20:" + TOKEN +
           "e1:q13:announce_peer1:t2:tt" + V + "1:y1:qe",
       true},
      {"announce_peer reply",
       [](W& w, const N& r) { return w.factory.createAnnouncePeerReplyMessage(r, "tt"); },
       "d1:rd2:id20:" + A + "e1:t2:tt" + V + "1:y1:re", false},
      {"get_peers reply with values only",
       [](W& w, const N& r) {
         return w.factory.createGetPeersReplyMessage(
             r, {}, {std::make_shared<Peer>("192.0.2.1", 6881)}, TOKEN, "tt");
       },
       "d1:rd2:id20:" + A + "5:token20:" + TOKEN + "6:valuesl6:" + ADDR1 + "ee1:t2:tt" + V +
           "1:y1:re",
       false},
      {"get_peers reply with nodes only",
       [](W& w, const N& r) {
         return w.factory.createGetPeersReplyMessage(r, {dhtNode(C, "192.0.2.2", 6882)}, {}, TOKEN,
                                                     "tt");
       },
       "d1:rd2:id20:" + A + "5:nodes26:" + C + ADDR2 + "5:token20:" + TOKEN + "e1:t2:tt" + V +
           "1:y1:re",
       false},
      {"find_node reply on the IPv6 DHT",
       [](W& w, const N& r) {
         return w.factory.createFindNodeReplyMessage(r, {dhtNode(C, "2001:db8::1", 6881)}, "tt");
       },
       "d1:rd2:id20:" + A + "6:nodes638:" + C + ADDR6 + "e1:t2:tt" + V + "1:y1:re", false,
       AF_INET6},
      {"get_peers reply on the IPv6 DHT",
       [](W& w, const N& r) {
         return w.factory.createGetPeersReplyMessage(r, {dhtNode(C, "2001:db8::1", 6881)},
                                                     {std::make_shared<Peer>("2001:db8::1", 6881)},
                                                     TOKEN, "tt");
       },
       "d1:rd2:id20:" + A + "6:nodes638:" + C + ADDR6 + "5:token20:" + TOKEN +
           "6:valuesl18:" + ADDR6 + "ee1:t2:tt" + V + "1:y1:re",
       false, AF_INET6},
  };
}

TEST(KrpcMessageTest, EachMessageEncodesToItsGoldenBytesAndIsSent) {
  for (const auto& c : goldenCases()) {
    SCOPED_TRACE(c.what);
    DhtWorld world(c.family);
    auto remote = dhtNode(B, "192.0.2.9", 6881);
    auto message = c.make(world, remote);
    EXPECT_EQ(c.bytes, message->getBencodedMessage());
    EXPECT_TRUE(message->send());
    ASSERT_EQ(1u, world.connection.sent.size());
    EXPECT_EQ(c.bytes, world.connection.sent[0].bytes);
    EXPECT_EQ("192.0.2.9", world.connection.sent[0].host);
    EXPECT_EQ(6881, world.connection.sent[0].port);
    world.connection.blocked = true;
    EXPECT_FALSE(message->send()) << "a blocked socket sends nothing";
  }
}

TEST(KrpcMessageTest, EachGoldenMessageDecodesAndEncodesBack) {
  for (const auto& c : goldenCases()) {
    SCOPED_TRACE(c.what);
    DhtWorld world(c.family);
    std::unique_ptr<DHTAbstractMessage> message;
    if (c.query) {
      message = world.query(c.bytes);
    } else {
      std::string method = c.what;
      message = world.reply(method.substr(0, method.find(' ')), c.bytes);
    }
    EXPECT_EQ(c.query, !message->isReply());
    EXPECT_EQ("tt", message->getTransactionID());
    EXPECT_EQ(std::string("QN\x00\x03", 4), message->getVersion());
    EXPECT_EQ(A, dhtIdString(message->getRemoteNode()->getID()));
    EXPECT_EQ("192.0.2.9", message->getRemoteNode()->getIPAddress());
    EXPECT_EQ(c.bytes, message->getBencodedMessage());
  }
}

TEST(KrpcMessageTest, DecodedFieldsAreThoseOnTheWire) {
  DhtWorld world;
  auto gp = world.reply("get_peers", goldenCases()[5].bytes);
  auto* reply = dynamic_cast<DHTGetPeersReplyMessage*>(gp.get());
  ASSERT_TRUE(reply);
  EXPECT_EQ(TOKEN, reply->getToken());
  ASSERT_EQ(1u, reply->getClosestKNodes().size());
  EXPECT_EQ(C, dhtIdString(reply->getClosestKNodes()[0]->getID()));
  EXPECT_EQ("192.0.2.1", reply->getClosestKNodes()[0]->getIPAddress());
  EXPECT_EQ(6881, reply->getClosestKNodes()[0]->getPort());
  ASSERT_EQ(1u, reply->getValues().size());
  EXPECT_EQ("192.0.2.2", reply->getValues()[0]->getIPAddress());
  EXPECT_EQ(6882, reply->getValues()[0]->getPort());

  auto ap = world.query(goldenCases()[6].bytes);
  auto* announce = dynamic_cast<DHTAnnouncePeerMessage*>(ap.get());
  ASSERT_TRUE(announce);
  EXPECT_EQ(H, dhtIdString(announce->getInfoHash()));
  EXPECT_EQ(6881, announce->getTCPPort());
  EXPECT_EQ(TOKEN, announce->getToken());

  auto fn = world.query(goldenCases()[2].bytes);
  EXPECT_EQ(T, dhtIdString(dynamic_cast<DHTFindNodeMessage*>(fn.get())->getTargetNodeID()));
  EXPECT_EQ("dht query find_node TransactionID=7474 Remote:192.0.2.9(6881), id=" +
                std::string(40, '4').replace(0, 40, "4141414141414141414141414141414141414141") +
                ", v=QN%00%03, targetNodeID=5454545454545454545454545454545454545454",
            fn->toString());
}

TEST(KrpcMessageTest, ReceivedMessageWithoutVersionHasNone) {
  DhtWorld world;
  auto m = world.query("d1:ad2:id20:" + B + "e1:q4:ping1:t1:x1:y1:qe");
  EXPECT_EQ("", m->getVersion());
  auto odd = world.query("d1:ad2:id20:" + B + "e1:q4:ping1:t1:x1:v2:ab1:y1:qe");
  EXPECT_EQ("ab", odd->getVersion());
  auto sent = world.factory.createPingMessage(dhtNode(B), "");
  EXPECT_EQ(4u, sent->getTransactionID().size()) << "a query draws its own id";
}

struct RefusedCase {
  const char* what;
  const char* method;  // empty: decoded as a query
  std::string bytes;
  std::string error;
};

TEST(DHTMessageFactoryTest, MalformedDictionariesAreRefusedWithTheirReason) {
  const std::string id = "2:id20:" + B;
  const RefusedCase cases[] = {
      {"no q even with a wrong y", "", "d1:ad" + id + "e1:t1:x1:y1:re",
       "Malformed DHT message. Missing q"},
      {"no a", "", "d1:q4:ping1:t1:x1:y1:qe", "Malformed DHT message. Missing a"},
      {"query with y r", "", "d1:ad" + id + "e1:q4:ping1:t1:x1:y1:re",
       "Malformed DHT message. y != q"},
      {"19-byte id", "", "d1:ad2:id19:" + B.substr(1) + "e1:q4:ping1:t1:x1:y1:qe",
       "Malformed DHT message. Invalid ID length. Expected:20, Actual:19"},
      {"short target", "", "d1:ad" + id + "6:target1:xe1:q9:find_node1:t1:x1:y1:qe",
       "Malformed DHT message. Invalid ID length. Expected:20, Actual:1"},
      {"unknown method", "", "d1:ad" + id + "e1:q4:vote1:t1:x1:y1:qe",
       "Unsupported message type: vote"},
      {"port as a string", "",
       "d1:ad" + id + "9:info_hash20:" + H +
           "4:port4:68815:token1:ke1:q13:announce_peer1:t1:x1:y1:qe",
       "Malformed DHT message. Missing port"},
      {"port 0", "",
       "d1:ad" + id + "9:info_hash20:" + H + "4:porti0e5:token1:ke1:q13:announce_peer1:t1:x1:y1:qe",
       "Malformed DHT message. Invalid port=0"},
      {"port 65536", "",
       "d1:ad" + id + "9:info_hash20:" + H +
           "4:porti65536e5:token1:ke1:q13:announce_peer1:t1:x1:y1:qe",
       "Malformed DHT message. Invalid port=65536"},
      {"announce without token", "",
       "d1:ad" + id + "9:info_hash20:" + H + "4:porti1ee1:q13:announce_peer1:t1:x1:y1:qe",
       "Malformed DHT message. Missing token"},
      {"reply without r", "ping", "d1:t1:x1:y1:re", "Malformed DHT message. Missing r"},
      {"reply with y q", "ping", "d1:rd" + id + "e1:t1:x1:y1:qe",
       "Malformed DHT message. y != r: y=q"},
      {"error reply", "ping", "d1:eli201e4:oopse1:t1:x1:y1:ee", "Received Error DHT message."},
      {"error reply of 3 elements", "ping", "d1:eli201e4:oops1:xe1:t1:x1:y1:ee",
       "Received Error DHT message."},
      {"reply to unknown method", "vote", "d1:rd" + id + "e1:t1:x1:y1:re",
       "Unsupported message type: vote"},
      {"get_peers reply without token", "get_peers",
       "d1:rd" + id + "5:nodes26:" + C + ADDR1 + "6:valuesl6:" + ADDR2 + "ee1:t1:x1:y1:re",
       "Malformed DHT message. Missing token"},
      {"27-byte nodes", "find_node", "d1:rd" + id + "5:nodes27:" + C + ADDR1 + "xe1:t1:x1:y1:re",
       "Nodes length is not multiple of 26"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DhtWorld world;
    try {
      if (*c.method) {
        world.reply(c.method, c.bytes);
      } else {
        world.query(c.bytes);
      }
      ADD_FAILURE() << "accepted";
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(c.error, std::string(e.what()));
    }
  }
}

TEST(DHTMessageFactoryTest, EveryValidPortIsAccepted) {
  for (int port : {1, 6881, 65535}) {
    DhtWorld world;
    auto m = world.query("d1:ad2:id20:" + B + "9:info_hash20:" + H + "4:porti" +
                         std::to_string(port) + "e5:token1:ke1:q13:announce_peer1:t1:x1:y1:qe");
    EXPECT_EQ(port, dynamic_cast<DHTAnnouncePeerMessage*>(m.get())->getTCPPort());
  }
}

TEST(DHTMessageFactoryTest, NodeListsAndValuesFollowTheFamily) {
  DhtWorld v4;
  auto only6 = v4.reply("find_node", "d1:rd2:id20:" + B + "6:nodes638:" + C +
                                         std::string(18, '\x01') + "e1:t1:x1:y1:re");
  EXPECT_TRUE(dynamic_cast<DHTFindNodeReplyMessage*>(only6.get())->getClosestKNodes().empty());

  DhtWorld v6(AF_INET6);
  const std::string addr6 =
      std::string("\x20\x01\x0d\xb8", 4) + std::string(11, '\0') + "\x01\x1a\xe1";
  auto gp = v6.reply("get_peers", "d1:rd2:id20:" + B + "6:nodes638:" + C + addr6 +
                                      "5:token1:k6:valuesl6:" + ADDR1 + "18:" + addr6 +
                                      "i1eee1:t1:x1:y1:re");
  auto* reply = dynamic_cast<DHTGetPeersReplyMessage*>(gp.get());
  ASSERT_EQ(1u, reply->getClosestKNodes().size());
  EXPECT_EQ("2001:db8::1", reply->getClosestKNodes()[0]->getIPAddress());
  ASSERT_EQ(1u, reply->getValues().size()) << "the 6-byte value and the integer are skipped";
  EXPECT_EQ(6881, reply->getValues()[0]->getPort());
}

TEST(DHTMessageFactoryTest, KnownNodeObjectIsReusedOnlyForSameAddressAndPort) {
  DhtWorld world;
  auto known = dhtNode(B, "192.0.2.9", 6881);
  world.table.addNode(known);
  EXPECT_EQ(known, world.query("d1:ad2:id20:" + B + "e1:q4:ping1:t1:x1:y1:qe")->getRemoteNode());
  EXPECT_NE(known, world.query("d1:ad2:id20:" + B + "e1:q4:ping1:t1:x1:y1:qe", "192.0.2.9", 6882)
                       ->getRemoteNode());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTAnnouncePeerMessage.h"
#include "dht/DHTFindNodeReplyMessage.h"
#include "dht/DHTGetPeersMessage.h"
#include "dht/DHTGetPeersReplyMessage.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/List.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

using namespace quarn::test;

const std::string LOCAL = dhtId({0x00}, 0xaa);
const std::string SENDER = dhtId({0x80}, 0xbb);
const std::string HASH(20, 'H');

struct Node : FakeDht {
  explicit Node(int family = AF_INET) : FakeDht(family, LOCAL) {}
  std::unique_ptr<DHTQueryMessage> receive(const std::string& bytes) { return query(bytes); }
  // The one reply queued, decoded again from its bytes.
  std::unique_ptr<ValueBase> sentReply() {
    EXPECT_EQ(1u, dispatcher.queued.size());
    auto* reply = dynamic_cast<DHTAbstractMessage*>(dispatcher.queued.at(0).get());
    EXPECT_EQ("192.0.2.9", reply->getRemoteNode()->getIPAddress());
    return bencode2::decode(reply->getBencodedMessage());
  }
};

const Dict& r(const std::unique_ptr<ValueBase>& msg) {
  return *valueAs<Dict>(valueAs<Dict>(msg)->get("r"));
}

TEST(KrpcActionTest, PingIsAnsweredWithOurIdAndItsOwnTransactionId) {
  Node node;
  node.receive("d1:ad2:id20:" + SENDER + "e1:q4:ping1:t7:longtid1:y1:qe")->doReceivedAction();
  auto reply = node.sentReply();
  const auto& top = *valueAs<Dict>(reply);
  EXPECT_EQ("longtid", valueAs<String>(top.get("t"))->s());
  EXPECT_EQ(LOCAL, valueAs<String>(r(reply).get("id"))->s());
  EXPECT_EQ(4u, top.size()) << "t, v, y, r";
}

TEST(KrpcActionTest, FindNodeReplyCarriesAtMostEightNodesOfTheFamily) {
  Node node;
  node.table.addNode(dhtNode(dhtId({0x40}, 99), "2001:db8::1", 1));
  for (unsigned char i = 1; i <= 10; ++i) {
    node.table.addNode(dhtNode(dhtId({0x40}, i), "192.0.2." + std::to_string(i), 6881));
  }
  std::vector<std::shared_ptr<DHTNode>> nodes;
  node.table.getClosestKNodes(nodes, uc(dhtId({0x40})));
  nodes.insert(nodes.begin(), dhtNode(dhtId({0x41}), "2001:db8::2", 1));
  nodes.push_back(dhtNode(dhtId({0x42}), "192.0.2.42", 1));
  nodes.push_back(dhtNode(dhtId({0x43}), "192.0.2.43", 1));
  auto reply = node.factory.createFindNodeReplyMessage(dhtNode(SENDER), nodes, "t");
  auto decoded = bencode2::decode(reply->getBencodedMessage());
  EXPECT_EQ(208u, valueAs<String>(r(decoded).get("nodes"))->s().size());

  auto empty = node.factory.createFindNodeReplyMessage(dhtNode(SENDER), {}, "t");
  auto e = bencode2::decode(empty->getBencodedMessage());
  ASSERT_TRUE(valueAs<String>(r(e).get("nodes")));
  EXPECT_EQ("", valueAs<String>(r(e).get("nodes"))->s());

  Node v6(AF_INET6);
  auto six = v6.factory.createFindNodeReplyMessage(
      dhtNode(SENDER),
      {dhtNode(dhtId({0x41}), "2001:db8::2", 1), dhtNode(dhtId({0x42}), "192.0.2.1", 1)}, "t");
  auto s = bencode2::decode(six->getBencodedMessage());
  EXPECT_EQ(38u, valueAs<String>(r(s).get("nodes6"))->s().size());
  EXPECT_FALSE(r(s).containsKey("nodes"));
}

TEST(KrpcActionTest, ReceivedFindNodeReplyNeverAddsTheLocalNode) {
  Node node;
  auto reply = node.factory.createFindNodeReplyMessage(
      dhtNode(SENDER), {dhtNode(LOCAL, "192.0.2.1", 1), dhtNode(dhtId({0x40}), "192.0.2.2", 2)},
      "t");
  reply->doReceivedAction();
  std::vector<std::shared_ptr<DHTNode>> known;
  node.table.getClosestKNodes(known, uc(LOCAL));
  ASSERT_EQ(1u, known.size());
  EXPECT_EQ(dhtId({0x40}), dhtIdString(known[0]->getID()));
}

TEST(KrpcActionTest, GetPeersAnswersTokenNodesAndAtMost25Peers) {
  Node node;
  node.receive("d1:ad2:id20:" + SENDER + "9:info_hash20:" + HASH + "e1:q9:get_peers1:t1:x1:y1:qe")
      ->doReceivedAction();
  auto bare = node.sentReply();
  EXPECT_FALSE(r(bare).containsKey("nodes"));
  EXPECT_FALSE(r(bare).containsKey("values"));
  const std::string token = valueAs<String>(r(bare).get("token"))->s();
  EXPECT_TRUE(node.tokens.validateToken(token, uc(HASH), "192.0.2.9", 6881));

  node.dispatcher.queued.clear();
  for (int i = 1; i <= 30; ++i) {
    node.storage.addPeerAnnounce(uc(HASH), "192.0.2.100", static_cast<uint16_t>(i));
  }
  node.table.addNode(dhtNode(dhtId({0x40}), "192.0.2.2", 2));
  node.receive("d1:ad2:id20:" + SENDER + "9:info_hash20:" + HASH + "e1:q9:get_peers1:t1:x1:y1:qe")
      ->doReceivedAction();
  auto full = node.sentReply();
  EXPECT_EQ(26u, valueAs<String>(r(full).get("nodes"))->s().size());
  EXPECT_EQ(25u, valueAs<List>(r(full).get("values"))->size());
}

TEST(KrpcActionTest, AnnounceIsStoredOnlyWithATokenGivenToTheSender) {
  Node node;
  const std::string good = node.tokens.generateToken(uc(HASH), "192.0.2.9", 6881);
  const std::string other = node.tokens.generateToken(uc(HASH), "192.0.2.10", 6881);
  auto announce = [&](const std::string& token) {
    return node.receive("d1:ad2:id20:" + SENDER + "9:info_hash20:" + HASH +
                        "4:porti65535e5:token20:" + token + "e1:q13:announce_peer1:t1:x1:y1:qe");
  };
  auto refused = announce(other);
  EXPECT_THROW(refused->validate(), DlAbortEx);
  EXPECT_FALSE(node.storage.contains(uc(HASH)));

  auto accepted = announce(good);
  accepted->validate();
  accepted->doReceivedAction();
  std::vector<std::shared_ptr<Peer>> peers;
  node.storage.getPeers(peers, uc(HASH));
  ASSERT_EQ(1u, peers.size());
  EXPECT_EQ("192.0.2.9", peers[0]->getIPAddress()) << "the datagram's address";
  EXPECT_EQ(65535, peers[0]->getPort()) << "the announced port";
  auto reply = node.sentReply();
  EXPECT_EQ(1u, r(reply).size());
}

TEST(KrpcActionTest, ExternalAddressOfTheFamilyIsListedAsAPeerOfOurTorrent) {
  auto option = std::make_shared<Option>();
  option->put(PREF_BT_EXTERNAL_IP, "192.0.2.77");
  auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
  auto ctx = std::make_shared<DownloadContext>(16384, 65536, "/dev/null");
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = HASH;
  ctx->setAttribute(CTX_ATTR_BT, attrs);
  ctx->setOwnerRequestGroup(group.get());
  BtRegistry registry;
  registry.setTcpPort(6889);
  auto object = std::make_unique<BtObject>();
  object->downloadContext = ctx;
  registry.put(1, std::move(object));

  for (int family : {AF_INET, AF_INET6}) {
    Node node(family);
    node.factory.setBtRegistry(&registry);
    auto query = node.receive("d1:ad2:id20:" + SENDER + "9:info_hash20:" + HASH +
                              "e1:q9:get_peers1:t1:x1:y1:qe");
    std::vector<std::shared_ptr<Peer>> peers;
    dynamic_cast<DHTGetPeersMessage*>(query.get())->addLocalPeer(peers);
    ASSERT_EQ(family == AF_INET ? 1u : 0u, peers.size());
    if (family == AF_INET) {
      EXPECT_EQ("192.0.2.77", peers[0]->getIPAddress());
      EXPECT_EQ(6889, peers[0]->getPort());
      peers.clear();
      peers.push_back(std::make_shared<Peer>("192.0.2.77", 6889));
      dynamic_cast<DHTGetPeersMessage*>(query.get())->addLocalPeer(peers);
      EXPECT_EQ(1u, peers.size()) << "listed once";
    }
  }
}

}  // namespace
}  // namespace quarn

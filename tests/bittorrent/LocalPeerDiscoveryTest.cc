#include <gtest/gtest.h>
#include <unistd.h>

#include <span>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/LpdDispatchMessageCommand.h"
#include "bittorrent/LpdMessageDispatcher.h"
#include "bittorrent/LpdMessageReceiver.h"
#include "bittorrent/LpdReceiveMessageCommand.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/lpd_message.h"
#include "config/Option.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

const std::string INFO_HASH =
    "\x01\x23\x45\x67\x89\xab\xcd\xef\x01\x23\x45\x67\x89\xab\xcd\xef"
    "\x01\x23\x45\x67";
const std::string GROUP = "239.192.152.143";
constexpr uint16_t GROUP_PORT = 6771;

std::unique_ptr<LpdMessage> parse(const std::string& datagram, const std::string& sender) {
  return bittorrent::parseLpdMessage(
      std::as_bytes(std::span<const char>(datagram.data(), datagram.size())), sender);
}

std::string announce(const std::string& port, const std::string& infoHash) {
  return "BT-SEARCH * HTTP/1.1\r\nHost: 239.192.152.143:6771\r\nPort: " + port +
         "\r\nInfohash: " + infoHash + "\r\n\r\n\r\n";
}

TEST(LpdMessageTest, AnnounceTextNamesGroupPortAndInfoHash) {
  EXPECT_EQ(
      "BT-SEARCH * HTTP/1.1\r\nHost: 239.192.152.143:6771\r\nPort: 6881\r\n"
      "Infohash: 0123456789abcdef0123456789abcdef01234567\r\n\r\n\r\n",
      bittorrent::createLpdRequest(GROUP, GROUP_PORT, INFO_HASH, 6881));
}

TEST(LpdMessageTest, AnnouncesNeedAUsablePortAndAFortyDigitInfoHash) {
  const std::string hex = "0123456789abcdef0123456789abcdef01234567";
  struct Case {
    std::string datagram;
    std::string sender;
    bool accepted;
    bool local;
  } cases[] = {
      {announce("6881", hex), "192.168.1.5", true, true},
      {announce("6881", "0123456789ABCDEF0123456789ABCDEF01234567"), "8.8.8.8", true, false},
      {announce("65535", hex), "172.16.0.1", true, true},
      {announce("0", hex), "10.0.0.1", false, false},
      {announce("65536", hex), "10.0.0.1", false, false},
      {announce("x", hex), "10.0.0.1", false, false},
      {announce("6881", hex.substr(1)), "10.0.0.1", false, false},
      {announce("6881", hex + "0"), "10.0.0.1", false, false},
      {announce("6881", "g" + hex.substr(1)), "10.0.0.1", false, false},
      {"BT-SEARCH * HTTP/1.1\r\nPort: 6881\r\n", "10.0.0.1", false, false},
      {"\r\n\r\n", "10.0.0.1", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.datagram);
    auto m = parse(c.datagram, c.sender);
    ASSERT_EQ(c.accepted, m != nullptr);
    if (m) {
      EXPECT_EQ(INFO_HASH, m->infoHash);
      EXPECT_EQ(c.sender, m->peer->getIPAddress());
      EXPECT_EQ(c.local, m->peer->isLocalPeer());
      EXPECT_FALSE(m->peer->isIncomingPeer());
    }
  }
}

// The receiver and the dispatcher on the real multicast group, looped back
// on this host; skipped where the host has no multicast route. Test
// processes run side by side and the group is shared with the whole host, so
// each process talks on a port of its own: a neighbour's announce landing
// among ours would change the counts.
class LpdSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.setOption(&option);
    receiver = std::make_shared<LpdMessageReceiver>(GROUP, groupPort);
    dispatcher = std::make_shared<LpdMessageDispatcher>(INFO_HASH, 6881, GROUP, groupPort);
    if (!receiver->init("127.0.0.1") || !dispatcher->init("127.0.0.1", 1, 1)) {
      GTEST_SKIP() << "no multicast on loopback here";
    }
    sender.create(AF_INET);
    sender.setMulticastInterface("127.0.0.1");
    sender.setMulticastLoop(1);
  }

  bool waitForDatagram() { return receiver->getSocket()->isReadable(2); }

  const uint16_t groupPort = static_cast<uint16_t>(30000 + ::getpid() % 30000);
  Option option;
  DownloadEngine engine{std::make_unique<EpollEventPoll>()};
  std::shared_ptr<LpdMessageReceiver> receiver;
  std::shared_ptr<LpdMessageDispatcher> dispatcher;
  SocketCore sender{SOCK_DGRAM};
};

TEST_F(LpdSocketTest, AnnounceReachesTheTorrentsPeerStorageTwentyPerTurn) {
  auto ctx = std::make_shared<DownloadContext>(16384, 16384, "/tmp/x");
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = INFO_HASH;
  ctx->setAttribute(CTX_ATTR_BT, attrs);
  auto groupOption = std::make_shared<Option>();
  RequestGroup group(GroupId::create(), groupOption);
  ctx->setOwnerRequestGroup(&group);
  auto storage = std::make_shared<test::FakePeerStorage>();
  auto registry = std::make_unique<BtRegistry>();
  registry->put(group.getGID(),
                std::make_unique<BtObject>(ctx, nullptr, storage, nullptr, nullptr, nullptr));
  engine.setService(std::move(registry));

  ASSERT_TRUE(dispatcher->isAnnounceReady());
  ASSERT_TRUE(dispatcher->sendMessage());
  dispatcher->resetAnnounceTimer();
  EXPECT_FALSE(dispatcher->isAnnounceReady());
  ASSERT_TRUE(waitForDatagram());
  auto own = receiver->receiveMessage();
  ASSERT_TRUE(own);
  EXPECT_EQ(INFO_HASH, own->infoHash);
  EXPECT_EQ(6881, own->peer->getPort());

  // 25 announces, some broken or for other torrents in between.
  for (int i = 0; i < 25; ++i) {
    const std::string datagram =
        bittorrent::createLpdRequest(GROUP, GROUP_PORT, INFO_HASH, static_cast<uint16_t>(7000 + i));
    sender.writeData(datagram.data(), datagram.size(), GROUP, groupPort);
    const std::string junk = i % 2 ? announce("0", "00") : std::string(300, 'x');
    sender.writeData(junk.data(), junk.size(), GROUP, groupPort);
  }
  const std::string other =
      bittorrent::createLpdRequest(GROUP, GROUP_PORT, std::string(20, 'z'), 1);
  sender.writeData(other.data(), other.size(), GROUP, groupPort);
  ASSERT_TRUE(waitForDatagram());
  auto* command = new LpdReceiveMessageCommand(1, receiver, &engine);
  engine.addCommand(std::unique_ptr<Command>(command));
  engine.run(true);
  EXPECT_EQ(20u, storage->added.size());
  engine.run(true);
  ASSERT_EQ(25u, storage->added.size());
  EXPECT_EQ(7024, storage->added.back()->getPort());
  EXPECT_EQ("127.0.0.1", storage->added.back()->getIPAddress());
}

TEST_F(LpdSocketTest, DispatchCommandAnnouncesOnceAndEndsWithTheTorrent) {
  const uint16_t port = static_cast<uint16_t>(20000 + ::getpid() % 40000);
  dispatcher = std::make_shared<LpdMessageDispatcher>(INFO_HASH, port, GROUP, groupPort);
  ASSERT_TRUE(dispatcher->init("127.0.0.1", 1, 1));
  auto ownAnnounces = [&] {
    int n = 0;
    while (receiver->getSocket()->isReadable(0)) {
      auto m = receiver->receiveMessage();
      n += m && m->infoHash == INFO_HASH && m->peer->getPort() == port;
    }
    return n;
  };
  auto runtime = std::make_shared<BtRuntime>();
  auto* command = new LpdDispatchMessageCommand(2, dispatcher, &engine);
  command->setBtRuntime(runtime);
  engine.addCommand(std::unique_ptr<Command>(command));
  engine.run(true);
  ASSERT_TRUE(waitForDatagram());
  EXPECT_EQ(1, ownAnnounces());
  engine.run(true);
  EXPECT_EQ(0, ownAnnounces());
  runtime->setHalt(true);
  engine.run(true);
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/UDPTrackerClient.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTAutoSaveCommand.h"
#include "dht/DHTBucketRefreshCommand.h"
#include "dht/DHTConnectionImpl.h"
#include "dht/DHTEntryPointNameResolveCommand.h"
#include "dht/DHTGetPeersCommand.h"
#include "dht/DHTInteractionCommand.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTNode.h"
#include "dht/DHTPeerAnnounceCommand.h"
#include "dht/DHTRegistry.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTSetup.h"
#include "dht/DHTTaskQueue.h"
#include "dht/DHTTokenUpdateCommand.h"
#include "dht/DHTTorrentSupport.h"
#include "dht/DhtFixture.h"
#include "dht/save_routing_table.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "net/SocketCore.h"

namespace quarn {
namespace {

using namespace quarn::test;

// An engine with one download, a torrent registry and DHT files in a
// directory of its own; the DHT binds a free loopback port.
struct Setup : ::testing::Test {
  Setup() {
    dir = std::filesystem::temp_directory_path() /
          ("dht-setup-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    option->put(PREF_DHT_FILE_PATH, (dir / "dht.dat").string());
    option->put(PREF_DHT_FILE_PATH6, (dir / "dht6.dat").string());
    option->put(PREF_DHT_LISTEN_ADDR, "127.0.0.1");
    option->put(PREF_DHT_LISTEN_ADDR6, "::1");
    option->put(PREF_DHT_LISTEN_PORT, "0");
    engine = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    engine->setOption(option.get());
    auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
    engine->setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{group}, 1, option.get()));
    engine->setService<BtRegistry>(std::make_unique<BtRegistry>());
  }
  ~Setup() override {
    engine.reset();
    std::filesystem::remove_all(dir);
  }

  BtRegistry& bt() { return *engine->getService<BtRegistry>(); }
  DHTRegistry& dht() { return DHTRegistry::of(*engine); }

  std::filesystem::path dir;
  std::shared_ptr<Option> option = makeGlobalOption();
  std::unique_ptr<DownloadEngine> engine;
};

template <class T>
bool is(const std::unique_ptr<Command>& c) {
  return dynamic_cast<T*>(c.get()) != nullptr;
}

TEST_F(Setup, BothFamiliesShareOnePortAndOnlyIPv4ServesTrackers) {
  auto [normal, routine] = DHTSetup().setup(engine.get(), AF_INET);
  ASSERT_EQ(4u, normal.size());
  EXPECT_TRUE(is<DHTTokenUpdateCommand>(normal[0]));
  EXPECT_TRUE(is<DHTBucketRefreshCommand>(normal[1]));
  EXPECT_TRUE(is<DHTPeerAnnounceCommand>(normal[2]));
  EXPECT_TRUE(is<DHTAutoSaveCommand>(normal[3]));
  ASSERT_EQ(1u, routine.size());
  EXPECT_TRUE(is<DHTInteractionCommand>(routine[0]));

  ASSERT_TRUE(dht().getData().initialized);
  const uint16_t port = bt().getUdpPort();
  ASSERT_NE(0, port);
  EXPECT_EQ(port, dht().getData().localNode->getPort());
  auto client = bt().getUDPTrackerClient();
  ASSERT_TRUE(client);

  auto six = DHTSetup().setup(engine.get(), AF_INET6);
  if (six.second.empty()) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  ASSERT_TRUE(dht().getData6().initialized);
  EXPECT_EQ(port, dht().getData6().localNode->getPort());
  EXPECT_EQ(port, bt().getUdpPort());
  EXPECT_EQ(client, bt().getUDPTrackerClient());
}

TEST_F(Setup, SecondSetupOfAFamilyChangesNothing) {
  auto first = DHTSetup().setup(engine.get(), AF_INET);
  ASSERT_FALSE(first.second.empty());
  auto node = dht().getData().localNode;
  auto again = DHTSetup().setup(engine.get(), AF_INET);
  EXPECT_TRUE(again.first.empty());
  EXPECT_TRUE(again.second.empty());
  EXPECT_EQ(node, dht().getData().localNode);
  EXPECT_TRUE(DHTSetup().setup(engine.get(), AF_UNIX).second.empty());
}

TEST_F(Setup, EntryPointCommandComesFirst) {
  option->put(PREF_DHT_ENTRY_POINT_HOST, "127.0.0.1");
  option->put(PREF_DHT_ENTRY_POINT_PORT, "6881");
  auto [normal, routine] = DHTSetup().setup(engine.get(), AF_INET);
  ASSERT_EQ(5u, normal.size());
  EXPECT_TRUE(is<DHTEntryPointNameResolveCommand>(normal[0]));
  EXPECT_TRUE(is<DHTAutoSaveCommand>(normal[4]));
}

TEST_F(Setup, PortTakenByAnotherSocketLeavesTheFamilyOff) {
  // Someone else holds the port the IPv4 DHT is told to share.
  DHTConnectionImpl other(AF_INET);
  uint16_t taken = 0;
  ASSERT_TRUE(other.bind(taken, "127.0.0.1"));
  bt().setUdpPort(taken);
  auto failed = DHTSetup().setup(engine.get(), AF_INET);
  EXPECT_TRUE(failed.first.empty());
  EXPECT_TRUE(failed.second.empty());
  EXPECT_FALSE(dht().getData().initialized);
  EXPECT_FALSE(dht().getData().routingTable);
  EXPECT_FALSE(bt().getUDPTrackerClient());

  // A later download tries again.
  bt().setUdpPort(0);
  EXPECT_FALSE(DHTSetup().setup(engine.get(), AF_INET).second.empty());
  EXPECT_TRUE(dht().getData().initialized);
}

TEST(DHTConnection, TwoSocketsCannotShareAPort) {
  for (auto [family, addr] : {std::pair{AF_INET, "127.0.0.1"}, std::pair{AF_INET6, "::1"}}) {
    DHTConnectionImpl first(family);
    uint16_t port = 0;
    if (!first.bind(port, addr)) {
      continue;  // no IPv6 loopback
    }
    DHTConnectionImpl second(family);
    uint16_t same = port;
    EXPECT_FALSE(second.bind(same, addr)) << addr;
  }
}

TEST_F(Setup, SavedTableGivesTheLocalIdAndOneForcedRefresh) {
  const std::string id = dhtId({0x12, 0x34}, 0x56);
  {
    auto local = dhtNode(id);
    DHTRoutingTable table(local);
    table.addNode(dhtNode(dhtId({0x80}, 1), "127.0.0.1", 9));
    table.addNode(dhtNode(dhtId({0x40}, 2), "127.0.0.1", 10));
    dht::saveRoutingTable(option->get(PREF_DHT_FILE_PATH), AF_INET, local, table);
  }
  ASSERT_FALSE(DHTSetup().setup(engine.get(), AF_INET).second.empty());
  const auto& data = dht().getData();
  EXPECT_EQ(id, dhtIdString(data.localNode->getID()));
  data.taskQueue->executeTask();
  // The forced refresh asks the saved nodes for our neighbours.
  EXPECT_GT(data.messageDispatcher->countMessageInQueue(), 0u);
}

TEST_F(Setup, WithoutSavedTableNothingIsQueued) {
  ASSERT_FALSE(DHTSetup().setup(engine.get(), AF_INET).second.empty());
  const auto& data = dht().getData();
  data.taskQueue->executeTask();
  EXPECT_EQ(0u, data.messageDispatcher->countMessageInQueue());
}

TEST_F(Setup, RoutingTableIsSavedWhenTheRunEnds) {
  auto [normal, routine] = DHTSetup().setup(engine.get(), AF_INET);
  ASSERT_EQ(4u, normal.size());
  engine->requestHalt();
  EXPECT_TRUE(normal[3]->execute());
  EXPECT_TRUE(std::filesystem::exists(dir / "dht.dat"));
}

TEST_F(Setup, TorrentsReachOnlyTheFamiliesThatRun) {
  dht::install(*engine);
  auto* torrents = engine->getService<TorrentDHT>();
  ASSERT_TRUE(torrents);
  option->put(PREF_ENABLE_DHT, "true");
  option->put(PREF_ENABLE_DHT6, "false");
  size_t before = engine->countCommands();
  torrents->setup(*option);
  EXPECT_EQ(before + 4, engine->countCommands());
  EXPECT_EQ(1u, engine->countRoutineCommands());
  EXPECT_TRUE(torrents->getPortReceiver(AF_INET));
  EXPECT_FALSE(torrents->getPortReceiver(AF_INET6));

  auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
  std::vector<std::unique_ptr<Command>> commands;
  torrents->createGetPeersCommands(commands, group.get(), std::make_shared<BtRuntime>(),
                                   std::make_shared<FakePeerStorage>());
  ASSERT_EQ(1u, commands.size());
  EXPECT_TRUE(is<DHTGetPeersCommand>(commands[0]));
  commands.clear();

  TorrentAttribute torrent;
  torrent.nodes = {{"127.0.0.1", 6881}, {"192.0.2.1", 6881}};
  before = engine->countCommands();
  torrent.privateTorrent = true;
  torrents->addEntryPoints(torrent);
  EXPECT_EQ(before, engine->countCommands());
  torrent.privateTorrent = false;
  torrents->addEntryPoints(torrent);
  EXPECT_EQ(before + 1, engine->countCommands());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DualStackDnsFixture.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/wire_fields.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "dht/DHTEntryPointNameResolveCommand.h"
#include "dht/DHTGetPeersCommand.h"
#include "dht/DHTNode.h"
#include "dht/DHTTask.h"
#include "dht/DHTTaskFactory.h"
#include "dht/DHTTaskQueue.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "dht/UDPTrackerSharer.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

using namespace quarn::test;
using std::chrono::milliseconds;
using std::chrono::seconds;

struct FakeTask : DHTTask {
  void startup() override {}
  bool finished() override { return done; }
  bool done = false;
};

// Names what was asked for; every task is a FakeTask the test can finish.
struct FakeTaskFactory : DHTTaskFactory {
  std::shared_ptr<DHTTask> make(std::string what) {
    log.push_back(std::move(what));
    auto task = std::make_shared<FakeTask>();
    tasks.push_back(task);
    return task;
  }
  std::shared_ptr<DHTTask> createPingTask(const std::shared_ptr<DHTNode>& node,
                                          int retries) override {
    return make("ping " + node->getIPAddress() + ":" + std::to_string(node->getPort()) + " " +
                std::to_string(retries));
  }
  std::shared_ptr<DHTTask> createNodeLookupTask(const unsigned char*) override {
    return make("node lookup");
  }
  std::shared_ptr<DHTTask> createBucketRefreshTask() override { return make("bucket refresh"); }
  std::shared_ptr<DHTTask> createPeerLookupTask(const std::shared_ptr<DownloadContext>&,
                                                uint16_t tcpPort,
                                                const std::shared_ptr<PeerStorage>&) override {
    return make("peer lookup " + std::to_string(tcpPort));
  }
  std::shared_ptr<DHTTask> createReplaceNodeTask(const std::shared_ptr<DHTBucket>&,
                                                 const std::shared_ptr<DHTNode>&) override {
    return make("replace node");
  }
  std::vector<std::string> log;
  std::vector<std::shared_ptr<FakeTask>> tasks;
};

struct CountingQueue : DHTTaskQueue {
  void executeTask() override {}
  void addPeriodicTask1(const std::shared_ptr<DHTTask>&) override { ++queued; }
  void addPeriodicTask2(const std::shared_ptr<DHTTask>&) override { ++queued; }
  void addImmediateTask(const std::shared_ptr<DHTTask>&) override { ++queued; }
  int queued = 0;
};

// An engine with one torrent download and a torrent registry.
struct Engine : ::testing::Test {
  Engine() {
    engine = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    engine->setOption(option.get());
    group = std::make_shared<RequestGroup>(GroupId::create(), option);
    auto ctx = std::make_shared<DownloadContext>(16384, 16384, "/tmp/x");
    auto attrs = std::make_shared<TorrentAttribute>();
    attrs->infoHash = std::string(20, 'h');
    ctx->setAttribute(CTX_ATTR_BT, attrs);
    group->setDownloadContext(ctx);
    engine->setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{group}, 1, option.get()));
    auto registry = std::make_unique<BtRegistry>();
    registry->setTcpPort(6881);
    engine->setService<BtRegistry>(std::move(registry));
  }

  std::shared_ptr<Option> option = makeGlobalOption();
  std::shared_ptr<RequestGroup> group;
  std::unique_ptr<DownloadEngine> engine;
  FakeTaskFactory factory;
  CountingQueue queue;
  WallclockShift clock;
};

struct GetPeers : Engine {
  GetPeers() {
    runtime->setMaxPeers(55);
    command = std::make_unique<DHTGetPeersCommand>(1, group.get(), engine.get());
    command->setTaskQueue(&queue);
    command->setTaskFactory(&factory);
    command->setBtRuntime(runtime);
    command->setPeerStorage(peers);
  }
  size_t lookups() const { return factory.log.size(); }
  void finishLookup() { factory.tasks.back()->done = true; }

  std::shared_ptr<BtRuntime> runtime = std::make_shared<BtRuntime>();
  std::shared_ptr<FakePeerStorage> peers = std::make_shared<FakePeerStorage>();
  std::unique_ptr<DHTGetPeersCommand> command;
};

TEST_F(GetPeers, ShortOfPeersRetriesEveryFiveSecondsTenTimesInARow) {
  EXPECT_FALSE(command->step());
  ASSERT_EQ(1u, lookups());
  EXPECT_EQ("peer lookup 6881", factory.log[0]);
  EXPECT_EQ(1, queue.queued);
  for (int retry = 1; retry <= 10; ++retry) {
    finishLookup();
    command->step();
    EXPECT_EQ(retry, command->getRetries());
    EXPECT_FALSE(command->hasTask());
    clock.advance(seconds(5) - milliseconds(1));
    command->step();
    EXPECT_EQ(static_cast<size_t>(retry), lookups()) << "too early at retry " << retry;
    clock.advance(milliseconds(2));
    command->step();
    ASSERT_EQ(static_cast<size_t>(retry + 1), lookups()) << "retry " << retry;
  }
  // The eleventh finished lookup ends the run of quick retries.
  finishLookup();
  command->step();
  EXPECT_EQ(0, command->getRetries());
  clock.advance(seconds(30));
  command->step();
  EXPECT_EQ(11u, lookups());
  // Without any connection a minute is the longest wait.
  clock.advance(seconds(30));
  command->step();
  EXPECT_EQ(12u, lookups());
}

TEST_F(GetPeers, EnoughPeersEndsTheRetries) {
  command->step();
  peers->added.resize(55);
  finishLookup();
  command->step();
  EXPECT_EQ(0, command->getRetries());
  runtime->increaseConnections();
  for (int i = 0; i < 50; ++i) {
    runtime->increaseConnections();
  }
  // Enough connections: the next lookup waits a quarter of an hour.
  clock.advance(seconds(899));
  command->step();
  EXPECT_EQ(1u, lookups());
  clock.advance(seconds(1));
  command->step();
  EXPECT_EQ(2u, lookups());
}

TEST_F(GetPeers, HaltedTorrentEndsWithoutLookup) {
  runtime->setHalt(true);
  EXPECT_TRUE(command->execute());
  EXPECT_EQ(0u, lookups());
}

struct EntryPoints : Engine {
  EntryPoints() {
    option->put(PREF_ASYNC_DNS, "true");
    local->setPort(1);
  }
  DHTEntryPointNameResolveCommand* make(int family,
                                        std::vector<std::pair<std::string, uint16_t>> points,
                                        bool bootstrap) {
    auto* c = new DHTEntryPointNameResolveCommand(7, engine.get(), family, points);
    c->setTaskQueue(&queue);
    c->setTaskFactory(&factory);
    c->setLocalNode(local);
    c->setBootstrapEnabled(bootstrap);
    return c;
  }
  std::shared_ptr<DHTNode> local = std::make_shared<DHTNode>();
};

TEST_F(EntryPoints, ResolvedPointsArePingedThenTheTableBootstraps) {
  struct Case {
    const char* name;
    int family;
    std::vector<std::pair<std::string, uint16_t>> points;
    bool bootstrap;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"two IPv4 points",
       AF_INET,
       {{"127.0.0.1", 6881}, {"192.0.2.1", 6882}},
       true,
       {"ping 127.0.0.1:6881 10", "ping 192.0.2.1:6882 10", "node lookup", "bucket refresh"}},
      {"no bootstrap", AF_INET, {{"127.0.0.1", 6881}}, false, {"ping 127.0.0.1:6881 10"}},
      {"IPv6 point",
       AF_INET6,
       {{"::1", 6881}},
       true,
       {"ping ::1:6881 10", "node lookup", "bucket refresh"}},
      // Addresses of the other family cannot be reached: nothing resolves.
      {"nothing usable", AF_INET6, {{"127.0.0.1", 6881}}, true, {}},
      {"IPv6 point for IPv4", AF_INET, {{"::1", 6881}}, true, {}},
  };
  for (const auto& tc : cases) {
    for (const char* async : {"true", "false"}) {
      option->put(PREF_ASYNC_DNS, async);
      factory.log.clear();
      auto* c = make(tc.family, tc.points, tc.bootstrap);
      EXPECT_TRUE(c->execute()) << tc.name;
      delete c;
      EXPECT_EQ(tc.log, factory.log) << tc.name << " async-dns=" << async;
    }
  }
}

using EntryPointNames = DualStackDnsFixture;

TEST_F(EntryPointNames, EachFamilyAsksForItsOwnAddresses) {
  struct Case {
    int family;
    std::vector<std::pair<std::string, uint16_t>> points;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {AF_INET, {{HOST, 6881}}, {"ping 127.1.2.3:6881 10", "node lookup", "bucket refresh"}},
      {AF_INET6, {{HOST, 6881}}, {"ping fd00::53:6881 10", "node lookup", "bucket refresh"}},
      // A name that resolves to nothing is skipped; with nothing resolved there
      // is no bootstrap.
      {AF_INET, {{"nowhere.quarn.test", 1}}, {}},
  };
  for (const auto& tc : cases) {
    auto engine = makeEngine();
    auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
    engine->setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{group}, 1, option.get()));
    FakeTaskFactory factory;
    CountingQueue queue;
    auto command =
        std::make_unique<DHTEntryPointNameResolveCommand>(7, engine.get(), tc.family, tc.points);
    command->setTaskQueue(&queue);
    command->setTaskFactory(&factory);
    command->setLocalNode(std::make_shared<DHTNode>());
    command->setBootstrapEnabled(true);
    engine->addCommand(std::move(command));
    engine->run();
    EXPECT_EQ(tc.log, factory.log) << tc.family;
  }
}

TEST_F(EntryPoints, HaltEndsAtOnce) {
  engine->requestHalt();
  auto* c = make(AF_INET, {{"127.0.0.1", 6881}}, true);
  EXPECT_TRUE(c->execute());
  delete c;
  EXPECT_TRUE(factory.log.empty());
}

std::string be32(uint32_t v) {
  unsigned char b[4];
  bittorrent::setIntParam(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

struct Waiter : Command {
  Waiter() : Command(99) {}
  bool execute() override { return true; }
};

struct ThrowingConnection : RecordingConnection {
  ssize_t sendMessage(const unsigned char*, size_t, const std::string&, uint16_t) override {
    throw DL_ABORT_EX("network unreachable");
  }
};

TEST_F(Engine, SharerCarriesTrackerTrafficAndWakesTheWaitingCommand) {
  auto client = std::make_shared<UDPTrackerClient>();
  UDPTrackerSharer sharer(engine.get(), client);
  Waiter waiter;
  auto req = std::make_shared<UDPTrackerRequest>();
  req->remoteAddr = "192.0.2.1";
  req->remotePort = 6881;
  req->action = UDPT_ACT_ANNOUNCE;
  req->userData = static_cast<Command*>(&waiter);
  client->addRequest(req);

  RecordingConnection connection;
  sharer.sendRequests(connection);
  ASSERT_EQ(1u, connection.sent.size());
  EXPECT_EQ(16u, connection.sent[0].bytes.size());
  EXPECT_EQ("192.0.2.1", connection.sent[0].host);
  EXPECT_EQ(6881, connection.sent[0].port);
  EXPECT_TRUE(sharer.hasWatchers() == false);

  // The connect reply sends the announce; its reply wakes the waiter.
  std::string connectReply = be32(0) + connection.sent[0].bytes.substr(12, 4) + be32(0) + be32(5);
  sharer.onDatagram(uc(connectReply), connectReply.size(), "192.0.2.1", 6881);
  EXPECT_EQ(Command::STATUS_INACTIVE, waiter.getStatus());
  sharer.sendRequests(connection);
  ASSERT_EQ(2u, connection.sent.size());
  ASSERT_EQ(100u, connection.sent[1].bytes.size());
  std::string announceReply =
      be32(1) + connection.sent[1].bytes.substr(12, 4) + be32(60) + be32(0) + be32(0);
  engine->setNoWait(false);
  sharer.onDatagram(uc(announceReply), announceReply.size(), "192.0.2.1", 6881);
  EXPECT_EQ(Command::STATUS_ONESHOT_REALTIME, waiter.getStatus());
  EXPECT_TRUE(engine->getNoWait());
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);

  client->increaseWatchers();
  EXPECT_TRUE(sharer.hasWatchers());
}

TEST_F(Engine, SharerFailsARequestThatCannotBeSent) {
  auto client = std::make_shared<UDPTrackerClient>();
  UDPTrackerSharer sharer(engine.get(), client);
  auto req = std::make_shared<UDPTrackerRequest>();
  req->remoteAddr = "192.0.2.1";
  req->remotePort = 6881;
  req->action = UDPT_ACT_ANNOUNCE;
  client->addRequest(req);
  ThrowingConnection connection;
  sharer.sendRequests(connection);
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_EQ(UDPT_ERR_NETWORK, req->error);
  EXPECT_TRUE(client->getPendingRequests().empty());
}

}  // namespace
}  // namespace quarn

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>

#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "dht/DHTAnnouncePeerMessage.h"
#include "dht/DHTBucket.h"
#include "dht/DHTBucketRefreshTask.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTNodeLookupTask.h"
#include "dht/DHTPeerLookupTask.h"
#include "dht/DHTPeerPortHandler.h"
#include "dht/DHTPingTask.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTReplaceNodeTask.h"
#include "dht/DHTResponseMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTTaskExecutor.h"
#include "dht/DHTTaskFactoryImpl.h"
#include "dht/DHTTaskQueue.h"
#include "dht/DHTTaskQueueImpl.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

const std::string LOCAL = dhtId({0x00}, 0xaa);
const std::string TARGET = dhtId({0x40});

// Keeps each queued query with its callback so a test can answer it.
struct AnsweringDispatcher : DHTMessageDispatcher {
  void addMessageToQueue(std::unique_ptr<DHTMessage> message, std::chrono::seconds,
                         std::unique_ptr<DHTMessageCallback> callback) override {
    sent.push_back({std::move(message), std::move(callback)});
  }
  void addMessageToQueue(std::unique_ptr<DHTMessage> message,
                         std::unique_ptr<DHTMessageCallback> callback) override {
    addMessageToQueue(std::move(message), 10s, std::move(callback));
  }
  void sendMessages() override {}
  size_t countMessageInQueue() const override { return sent.size(); }

  struct Sent {
    std::unique_ptr<DHTMessage> message;
    std::unique_ptr<DHTMessageCallback> callback;
  };
  std::vector<Sent> sent;
};

struct RecordingQueue : DHTTaskQueue {
  void executeTask() override {}
  void addPeriodicTask1(const std::shared_ptr<DHTTask>& t) override { tasks.push_back(t); }
  void addPeriodicTask2(const std::shared_ptr<DHTTask>& t) override { tasks.push_back(t); }
  void addImmediateTask(const std::shared_ptr<DHTTask>& t) override { tasks.push_back(t); }
  std::vector<std::shared_ptr<DHTTask>> tasks;
};

struct Tasks {
  Tasks() : local(dhtNode(LOCAL)), table(local), factory(AF_INET) {
    factory.setLocalNode(local);
    factory.setRoutingTable(&table);
    tasks.setLocalNode(local);
    tasks.setRoutingTable(&table);
    tasks.setMessageDispatcher(&dispatcher);
    tasks.setMessageFactory(&factory);
    tasks.setTaskQueue(&queue);
  }
  // A node at 192.0.2.<n> whose id lies at distance n from the target.
  static std::shared_ptr<DHTNode> near(unsigned char n) {
    return dhtNode(dhtId({0x40}, n), "192.0.2." + std::to_string(n), 6881);
  }
  void answerFindNode(size_t i, std::vector<std::shared_ptr<DHTNode>> nodes) {
    auto& s = dispatcher.sent.at(i);
    auto reply = factory.createFindNodeReplyMessage(s.message->getRemoteNode(), std::move(nodes),
                                                    s.message->getTransactionID());
    reply->accept(s.callback.get());
  }
  void timeOut(size_t i) {
    auto& s = dispatcher.sent.at(i);
    s.callback->onTimeout(s.message->getRemoteNode());
  }
  std::vector<std::string> askedHosts() const {
    std::vector<std::string> out;
    for (const auto& s : dispatcher.sent) {
      out.push_back(s.message->getRemoteNode()->getIPAddress());
    }
    return out;
  }

  std::shared_ptr<DHTNode> local;
  DHTRoutingTable table;
  DHTMessageFactoryImpl factory;
  AnsweringDispatcher dispatcher;
  RecordingQueue queue;
  DHTTaskFactoryImpl tasks;
};

struct SteadyTask : DHTTask {
  explicit SteadyTask(bool done) : done(done) {}
  void startup() override { started = true; }
  bool finished() override { return done; }
  bool done;
  bool started = false;
};

TEST(DHTTaskExecutorTest, RunsAtMostFifteenAndInstantTasksCostNoSlot) {
  DHTTaskExecutor executor(15);
  std::vector<std::shared_ptr<SteadyTask>> tasks;
  for (int i = 0; i < 25; ++i) {
    tasks.push_back(std::make_shared<SteadyTask>(i < 5));
    executor.addTask(tasks.back());
  }
  executor.update();
  EXPECT_EQ(15u, executor.getExecutingTaskSize());
  EXPECT_EQ(5u, executor.getQueueSize());
  tasks[5]->done = true;
  tasks[6]->done = true;
  executor.update();
  EXPECT_EQ(15u, executor.getExecutingTaskSize());
  EXPECT_EQ(3u, executor.getQueueSize());
}

// Runs the queue until nothing waits, finishing every task it started;
// returns how many were started.
size_t drain(DHTTaskQueueImpl& queue, std::vector<std::shared_ptr<SteadyTask>>& tasks) {
  for (int turn = 0; turn < 100; ++turn) {
    queue.executeTask();
    for (auto& t : tasks) {
      t->done = t->started;
    }
  }
  return std::count_if(tasks.begin(), tasks.end(), [](const auto& t) { return t->started; });
}

TEST(DHTTaskQueueImplTest, PeersCannotMakeTheImmediateQueueGrowWithoutEnd) {
  const size_t flood = DHTTaskQueueImpl::MAX_IMMEDIATE_WAITING + 50;
  DHTTaskQueueImpl queue;
  std::vector<std::shared_ptr<SteadyTask>> immediate;
  for (size_t i = 0; i < flood; ++i) {
    immediate.push_back(std::make_shared<SteadyTask>(false));
    queue.addImmediateTask(immediate.back());
  }
  EXPECT_EQ(DHTTaskQueueImpl::MAX_IMMEDIATE_WAITING, drain(queue, immediate));

  // The periodic queues are fed by this node's own timers and keep all.
  std::vector<std::shared_ptr<SteadyTask>> periodic;
  for (size_t i = 0; i < flood; ++i) {
    periodic.push_back(std::make_shared<SteadyTask>(false));
    queue.addPeriodicTask1(periodic.back());
  }
  EXPECT_EQ(flood, drain(queue, periodic));
}

TEST(DHTNodeLookupTaskTest, EmptyTableFinishesAtOnce) {
  Tasks t;
  auto task = t.tasks.createNodeLookupTask(uc(TARGET));
  task->startup();
  EXPECT_TRUE(task->finished());
  EXPECT_TRUE(t.dispatcher.sent.empty());
}

TEST(DHTNodeLookupTaskTest, AsksThreeAtATimeUntilAllEightAnswered) {
  Tasks t;
  for (unsigned char n = 1; n <= 8; ++n) {
    t.table.addNode(Tasks::near(n));
  }
  auto task = t.tasks.createNodeLookupTask(uc(TARGET));
  task->startup();
  ASSERT_EQ(3u, t.dispatcher.sent.size());
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_FALSE(task->finished());
    if (i % 2) {
      t.timeOut(i);
    } else {
      t.answerFindNode(i, {});
    }
    EXPECT_EQ(std::min<size_t>(8, i + 4), t.dispatcher.sent.size());
  }
  EXPECT_TRUE(task->finished());
}

TEST(DHTNodeLookupTaskTest, ReportedNodesMergeNearestFirstWithoutAskingTwice) {
  Tasks t;
  t.table.addNode(Tasks::near(0x30));
  auto task = t.tasks.createNodeLookupTask(uc(TARGET));
  task->startup();
  ASSERT_EQ(1u, t.dispatcher.sent.size());
  // Reports itself, the local node and ten nearer nodes.
  std::vector<std::shared_ptr<DHTNode>> reported{Tasks::near(0x30),
                                                 dhtNode(LOCAL, "192.0.2.200", 1)};
  for (unsigned char n = 10; n >= 1; --n) {
    reported.push_back(Tasks::near(n));
  }
  t.answerFindNode(0, reported);
  auto* lookup = static_cast<DHTNodeLookupTask*>(task.get());
  ASSERT_EQ(8u, lookup->getEntries().size());
  for (unsigned char n = 1; n <= 8; ++n) {
    EXPECT_EQ(n, lookup->getEntries()[n - 1]->node->getID()[DHT_ID_LENGTH - 1]);
  }
  EXPECT_EQ((std::vector<std::string>{"192.0.2.48", "192.0.2.1", "192.0.2.2", "192.0.2.3"}),
            t.askedHosts());
  t.answerFindNode(1, {Tasks::near(2), Tasks::near(1)});
  EXPECT_EQ(5u, t.dispatcher.sent.size()) << "nodes already asked are not asked again";
  EXPECT_EQ("192.0.2.4", t.askedHosts().back());
}

TEST(DHTPeerLookupTaskTest, PeersGoToStorageAndAnnouncesOnlyToNodesThatGaveTokens) {
  Tasks t;
  auto ctx = std::make_shared<DownloadContext>(16384, 65536, "/dev/null");
  auto attrs = std::make_shared<TorrentAttribute>();
  attrs->infoHash = TARGET;
  ctx->setAttribute(CTX_ATTR_BT, attrs);
  auto storage = std::make_shared<test::FakePeerStorage>();
  for (unsigned char n = 1; n <= 3; ++n) {
    t.table.addNode(Tasks::near(n));
  }
  auto task = t.tasks.createPeerLookupTask(ctx, 6889, storage);
  task->startup();
  ASSERT_EQ(3u, t.dispatcher.sent.size());
  for (size_t i = 0; i < 2; ++i) {
    auto& s = t.dispatcher.sent[i];
    auto reply = t.factory.createGetPeersReplyMessage(
        s.message->getRemoteNode(), {}, {std::make_shared<Peer>("192.0.2.100", 1)},
        "token" + std::to_string(i), s.message->getTransactionID());
    reply->accept(s.callback.get());
  }
  t.timeOut(2);
  EXPECT_TRUE(task->finished());
  EXPECT_EQ(2u, storage->added.size());
  ASSERT_EQ(5u, t.dispatcher.sent.size());
  for (size_t i = 3; i < 5; ++i) {
    auto* announce = dynamic_cast<DHTAnnouncePeerMessage*>(t.dispatcher.sent[i].message.get());
    ASSERT_TRUE(announce);
    EXPECT_EQ(6889, announce->getTCPPort());
    EXPECT_EQ("token" + std::to_string(i - 3), announce->getToken());
    EXPECT_FALSE(t.dispatcher.sent[i].callback);
  }
}

TEST(DHTPingTaskTest, RetriesUpToItsLimitThenGivesUp) {
  for (int max : {0, 1, 10}) {
    Tasks t;
    auto task = t.tasks.createPingTask(dhtNode(LOCAL, "192.0.2.1", 1), max);
    task->startup();
    size_t i = 0;
    while (!task->finished()) {
      ASSERT_LT(i, t.dispatcher.sent.size());
      t.timeOut(i++);
    }
    EXPECT_EQ(static_cast<size_t>(std::max(max, 1)), t.dispatcher.sent.size());
    EXPECT_FALSE(static_cast<DHTPingTask*>(task.get())->isPingSuccessful());
  }
  Tasks t;
  auto task = t.tasks.createPingTask(dhtNode(LOCAL, "192.0.2.1", 1), 10);
  task->startup();
  auto& s = t.dispatcher.sent[0];
  t.factory.createPingReplyMessage(s.message->getRemoteNode(), uc(LOCAL), "x")
      ->accept(s.callback.get());
  EXPECT_TRUE(task->finished());
  EXPECT_TRUE(static_cast<DHTPingTask*>(task.get())->isPingSuccessful());
}

TEST(DHTBucketRefreshTaskTest, RefreshesBucketsThatNeedItOrAllWhenForced) {
  Tasks t;
  for (unsigned char n = 1; n <= 9; ++n) {
    t.table.addNode(dhtNode(dhtId({0x80}, n), "192.0.2.1", n));  // full upper half
  }
  auto refresh = t.tasks.createBucketRefreshTask();
  refresh->startup();
  EXPECT_TRUE(refresh->finished());
  EXPECT_EQ(1u, t.queue.tasks.size()) << "only the lower, not full, bucket";
  auto forced = std::make_shared<DHTBucketRefreshTask>();
  forced->setRoutingTable(&t.table);
  forced->setTaskQueue(&t.queue);
  forced->setForceRefresh(true);
  forced->startup();
  EXPECT_EQ(3u, t.queue.tasks.size());
}

TEST(DHTReplaceNodeTaskTest, SilentNodeIsReplacedAfterTwoTimeouts) {
  Tasks t;
  auto bucket = std::make_shared<DHTBucket>(t.local);
  auto quiet = t.tasks.createReplaceNodeTask(bucket, dhtNode(dhtId({0x90})));
  quiet->startup();
  EXPECT_TRUE(quiet->finished()) << "no questionable node";

  std::vector<std::shared_ptr<DHTNode>> nodes;
  for (unsigned char n = 1; n <= 8; ++n) {
    nodes.push_back(dhtNode(dhtId({0x80}, n), "192.0.2.1", n));
    bucket->addNode(nodes.back());
  }
  auto task = t.tasks.createReplaceNodeTask(bucket, dhtNode(dhtId({0x90})));
  task->startup();
  t.timeOut(0);
  EXPECT_FALSE(task->finished());
  ASSERT_EQ(2u, t.dispatcher.sent.size());
  t.timeOut(1);
  EXPECT_TRUE(task->finished());
  EXPECT_EQ(0x90, bucket->getNodes().back()->getID()[0]);
}

TEST(DHTPeerPortHandlerTest, PingsThePeerNodeAndLooksUpWhileTheTableIsYoung) {
  Tasks t;
  DHTPeerPortHandler handler(t.local, &t.table, &t.queue, &t.tasks);
  handler.onPeerPort("192.0.2.7", 6881);
  ASSERT_EQ(2u, t.queue.tasks.size());
  t.queue.tasks[0]->startup();
  ASSERT_EQ(1u, t.dispatcher.sent.size());
  EXPECT_EQ("192.0.2.7", t.dispatcher.sent[0].message->getRemoteNode()->getIPAddress());
  EXPECT_EQ("ping", t.dispatcher.sent[0].message->getMessageType());

  for (unsigned char n = 1; n <= 9; ++n) {
    t.table.addNode(dhtNode(dhtId({0x80}, n), "192.0.2.1", n));
  }
  ASSERT_EQ(2, t.table.getNumBucket());
  handler.onPeerPort("192.0.2.8", 6881);
  EXPECT_EQ(3u, t.queue.tasks.size()) << "only the ping once the table has split";
}

}  // namespace
}  // namespace quarn

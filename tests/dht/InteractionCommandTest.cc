#include <gtest/gtest.h>
#include <sys/socket.h>

#include <deque>
#include <string>

#include "dht/DHTInteractionCommand.h"
#include "dht/DHTMessageDispatcherImpl.h"
#include "dht/DHTMessageFactoryImpl.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTMessageTracker.h"
#include "dht/DHTPeerAnnounceStorage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTSocketSharer.h"
#include "dht/DHTTaskQueueImpl.h"
#include "dht/DHTTokenTracker.h"
#include "dht/DhtFakes.h"
#include "dht/DhtFixture.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"

namespace quarn {
namespace {

using namespace quarn::test;

const std::string LOCAL = dhtId({0x00}, 0xaa);
const std::string PEER = dhtId({0x80}, 0xbb);

struct FakeSharer : DHTSocketSharer {
  bool hasWatchers() const override { return watchers; }
  void failAll() override { log.push_back("failAll"); }
  void onDatagram(const unsigned char*, size_t length, const std::string&, uint16_t) override {
    log.push_back("datagram " + std::to_string(length));
  }
  void handleTimeout() override { log.push_back("timeout"); }
  void sendRequests(DHTConnection&) override { log.push_back("send"); }
  bool watchers = false;
  std::vector<std::string> log;
};

struct Loop : ::testing::Test, LiveDht {
  Loop() : LiveDht(LOCAL), sharer(std::make_shared<FakeSharer>()) {
    engine = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    engine->setOption(option.get());
    auto group = std::make_shared<RequestGroup>(GroupId::create(), option);
    engine->setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{group}, 1, option.get()));

    command = new DHTInteractionCommand(1, engine.get());
    command->setMessageDispatcher(&dispatcher);
    command->setMessageReceiver(&receiver);
    command->setTaskQueue(&queue);
    command->setConnection(std::move(ownedConnection));
    command->setSocketSharer(sharer);
  }

  std::shared_ptr<Option> option = makeGlobalOption();
  DHTTaskQueueImpl queue;
  std::shared_ptr<FakeSharer> sharer;
  std::unique_ptr<DownloadEngine> engine;
  DHTInteractionCommand* command;  // owned by the engine once it re-queues itself
};

TEST_F(Loop, OneTurnAnswersQueriesAndSharesTheSocket) {
  connection->incoming.push_back("d1:ad2:id20:" + PEER + "e1:q4:ping1:t2:ab1:y1:qe");
  connection->incoming.push_back(std::string("\x00\x00\x04\x17", 4));
  EXPECT_FALSE(command->execute());
  ASSERT_EQ(1u, connection->sent.size());
  EXPECT_NE(std::string::npos, connection->sent[0].bytes.find("1:t2:ab"))
      << connection->sent[0].bytes;
  EXPECT_EQ((std::vector<std::string>{"datagram 4", "timeout", "send"}), sharer->log);
  EXPECT_TRUE(table.getNode(uc(PEER), "192.0.2.1", 6881));
}

TEST_F(Loop, HaltWaitsForTrackerRepliesUnlessForced) {
  sharer->watchers = true;
  engine->requestHalt();
  EXPECT_FALSE(command->execute());
  EXPECT_TRUE(std::find(sharer->log.begin(), sharer->log.end(), "failAll") == sharer->log.end());
  // The command is queued in the engine again; take it back for the forced turn.
  engine->requestForceHalt();
  EXPECT_TRUE(command->execute());
  EXPECT_EQ("failAll", sharer->log.back());
}

}  // namespace
}  // namespace quarn

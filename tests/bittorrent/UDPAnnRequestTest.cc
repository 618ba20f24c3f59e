#include "bittorrent/UDPAnnRequest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bittorrent/BtRegistry.h"
#include "bittorrent/DualStackDnsFixture.h"
#include "bittorrent/NameResolveCommand.h"
#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"

namespace quarn {
namespace {

using namespace quarn::test;

struct Waiter : Command {
  Waiter() : Command(5) {}
  bool execute() override { return true; }
};

// An engine whose torrent registry holds a UDP tracker client.
struct UdpAnnounce : ::testing::Test {
  UdpAnnounce() {
    engine = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
    engine->setOption(option.get());
    auto registry = std::make_unique<BtRegistry>();
    registry->setUDPTrackerClient(client);
    engine->setService<BtRegistry>(std::move(registry));
    req->remoteAddr = "192.0.2.5";
    req->remotePort = 6969;
    req->action = UDPT_ACT_ANNOUNCE;
    req->userData = static_cast<Command*>(&waiter);
  }

  // Runs the name resolution the request asked for.
  bool resolve() {
    NameResolveCommand command(1, engine.get(), req);
    return command.execute();
  }

  std::shared_ptr<Option> option = makeGlobalOption();
  std::shared_ptr<UDPTrackerClient> client = std::make_shared<UDPTrackerClient>();
  std::unique_ptr<DownloadEngine> engine;
  std::shared_ptr<UDPTrackerRequest> req = std::make_shared<UDPTrackerRequest>();
  Waiter waiter;
};

TEST_F(UdpAnnounce, StateFollowsTheRequest) {
  UDPAnnRequest ann(req);
  EXPECT_FALSE(ann.stopped());
  EXPECT_FALSE(ann.success());
  req->state = UDPT_STA_COMPLETE;
  req->error = UDPT_ERR_TIMEOUT;
  EXPECT_TRUE(ann.stopped());
  EXPECT_FALSE(ann.success());
  req->error = UDPT_ERR_SUCCESS;
  EXPECT_TRUE(ann.success());
}

TEST_F(UdpAnnounce, IssueQueuesTheNameResolution) {
  UDPAnnRequest ann(req);
  size_t before = engine->countCommands();
  engine->setNoWait(false);
  EXPECT_TRUE(ann.issue(engine.get()));
  EXPECT_EQ(before + 1, engine->countCommands());
  EXPECT_TRUE(engine->getNoWait());
}

TEST_F(UdpAnnounce, StoppedOrDroppedRequestWakesNobody) {
  {
    UDPAnnRequest ann(req);
    ann.stop(engine.get());
    EXPECT_EQ(nullptr, req->userData);
    EXPECT_TRUE(ann.stopped());
    EXPECT_FALSE(ann.success());
    EXPECT_FALSE(ann.issue(engine.get()));
  }
  req->userData = static_cast<Command*>(&waiter);
  { UDPAnnRequest ann(req); }
  EXPECT_EQ(nullptr, req->userData);
}

TEST_F(UdpAnnounce, NumericTrackerGoesStraightToTheClient) {
  EXPECT_TRUE(resolve());
  ASSERT_EQ(1u, client->getPendingRequests().size());
  EXPECT_EQ(req, client->getPendingRequests().front());
  EXPECT_EQ(UDPT_STA_PENDING, req->state);
}

TEST_F(UdpAnnounce, ForcedHaltOrMissingClientCompletesTheRequest) {
  engine->requestForceHalt();
  EXPECT_TRUE(resolve());
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_EQ(UDPT_ERR_SHUTDOWN, req->error);

  engine = std::make_unique<DownloadEngine>(std::make_unique<FakeEventPoll>());
  engine->setOption(option.get());
  engine->setService<BtRegistry>(std::make_unique<BtRegistry>());
  req->state = UDPT_STA_PENDING;
  EXPECT_TRUE(resolve());
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_EQ(UDPT_ERR_NETWORK, req->error);
}

using UdpTrackerName = DualStackDnsFixture;

TEST_F(UdpTrackerName, ResolvesToAnIPv4AddressOrFailsTheRequest) {
  struct Case {
    const char* host;
    int state;
    int error;
    const char* addr;
  };
  // The client sends over the IPv4 socket only, so an IPv6 answer is no use.
  const Case cases[] = {
      {HOST, UDPT_STA_PENDING, UDPT_ERR_SUCCESS, "127.1.2.3"},
      {"nowhere.quarn.test", UDPT_STA_COMPLETE, UDPT_ERR_NETWORK, "nowhere.quarn.test"},
  };
  for (const auto& tc : cases) {
    auto engine = makeEngine();
    auto client = std::make_shared<UDPTrackerClient>();
    auto registry = std::make_unique<BtRegistry>();
    registry->setUDPTrackerClient(client);
    engine->setService<BtRegistry>(std::move(registry));
    auto req = std::make_shared<UDPTrackerRequest>();
    req->remoteAddr = tc.host;
    req->remotePort = 6969;
    req->action = UDPT_ACT_ANNOUNCE;
    UDPAnnRequest ann(req);
    ASSERT_TRUE(ann.issue(engine.get()));
    engine->run();
    EXPECT_EQ(tc.state, req->state) << tc.host;
    EXPECT_EQ(tc.error, req->error) << tc.host;
    EXPECT_EQ(tc.addr, req->remoteAddr) << tc.host;
    EXPECT_EQ(tc.state == UDPT_STA_PENDING ? 1u : 0u, client->getPendingRequests().size());
  }
}

}  // namespace
}  // namespace quarn

// Name resolution through the DNS cache and the choice of the backup IPv4
// connect, on a real engine without running its loop.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/client_services.h"
#include "client/common/BackupConnectInfo.h"
#include "client/http/HttpInitiateConnectionCommand.h"
#include "config/Option.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/Request.h"

namespace quarn {
namespace {

constexpr uint16_t PORT = 8080;
const std::string HOST = "mirror.test";

class ProbeCommand : public HttpInitiateConnectionCommand {
 public:
  using HttpInitiateConnectionCommand::HttpInitiateConnectionCommand;
  using InitiateConnectionCommand::createBackupIPv4ConnectCommand;
};

class ConnectionInitiationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OptionParser::getInstance()->parseDefaultValues(*option_);
    auto op = std::make_shared<Option>();
    op->setParent(option_);
    group_ = std::make_shared<RequestGroup>(GroupId::create(), op);
    group_->setDownloadContext(std::make_shared<DownloadContext>(1024, 0, ""));
    engine_ = std::make_unique<DownloadEngine>(std::make_unique<EpollEventPoll>());
    engine_->setOption(option_.get());
    installClient(*engine_);
    auto req = std::make_shared<Request>();
    req->setUri("http://" + HOST + ":" + std::to_string(PORT) + "/f");
    command_ = std::make_unique<ProbeCommand>(engine_->newCUID(), req,
                                              group_->getDownloadContext()->getFirstFileEntry(),
                                              group_.get(), engine_.get());
  }

  void TearDown() override {
    command_.reset();
    engine_.reset();
  }

  void cache(const std::vector<std::string>& addrs) {
    for (const auto& a : addrs) {
      engine_->cacheIPAddress(HOST, a, PORT);
    }
  }

  std::shared_ptr<Option> option_ = std::make_shared<Option>();
  std::shared_ptr<RequestGroup> group_;
  std::unique_ptr<DownloadEngine> engine_;
  std::unique_ptr<ProbeCommand> command_;
};

TEST_F(ConnectionInitiationTest, CacheHitGivesEveryGoodAddressAndUsesTheFirst) {
  cache({"::1", "127.0.0.1", "127.0.0.2"});
  engine_->markBadIPAddress(HOST, "127.0.0.1", PORT);
  std::vector<std::string> addrs;
  EXPECT_EQ("::1", command_->resolveHostname(addrs, HOST, PORT));
  EXPECT_EQ((std::vector<std::string>{"::1", "127.0.0.2"}), addrs);
}

TEST_F(ConnectionInitiationTest, BackupConnectTakesTheFirstGoodIPv4Address) {
  struct Case {
    const char* name;
    std::vector<std::string> cached;
    std::vector<std::string> bad;
    std::string mainAddr;
    bool backup;
  } cases[] = {
      {"IPv4 behind the IPv6 main address", {"::1", "::2", "127.0.0.1"}, {}, "::1", true},
      {"main address is IPv4 already", {"127.0.0.1", "::1"}, {}, "127.0.0.1", false},
      {"only IPv6 cached", {"::1", "::2"}, {}, "::1", false},
      {"the IPv4 address failed before", {"::1", "127.0.0.1"}, {"127.0.0.1"}, "::1", false},
      {"a bad IPv4 address is passed over",
       {"::1", "127.0.0.1", "127.0.0.2"},
       {"127.0.0.1"},
       "::1",
       true},
  };
  for (const auto& c : cases) {
    engine_->removeCachedIPAddress(HOST, PORT);
    cache(c.cached);
    for (const auto& b : c.bad) {
      engine_->markBadIPAddress(HOST, b, PORT);
    }
    size_t before = engine_->countCommands();
    auto info = command_->createBackupIPv4ConnectCommand(HOST, c.mainAddr, PORT, command_.get());
    EXPECT_EQ(c.backup, info != nullptr) << c.name;
    EXPECT_EQ(before + (c.backup ? 1 : 0), engine_->countCommands()) << c.name;
    if (info) {
      // Nothing must connect: the queued command ends at its first turn.
      info->cancel = true;
    }
  }
}

}  // namespace
}  // namespace quarn

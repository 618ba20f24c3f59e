#include "engine/AsyncNameResolverMan.h"

#include <gtest/gtest.h>

#include <memory>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/PollEventPoll.h"
#include "net/AsyncNameResolver.h"
#include "net/DnsStandIn.h"
#include "net/net_address.h"

namespace quarn {

namespace {

class IdleCommand : public Command {
 public:
  IdleCommand() : Command(7) {}
  bool execute() override { return true; }
};

constexpr int TYPE_A = 1;
constexpr int TYPE_AAAA = 28;

}  // namespace

class AsyncNameResolverManTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dns_ = std::make_unique<DnsStandIn>(std::map<std::string, DnsStandIn::Records>{
        {"both.quarn.test", {{"127.1.2.3"}, {"fd00::53"}}},
        {"v4first.quarn.test", {{"127.1.2.5"}, {"fd00::55"}, false, true}},
        {"v6only.quarn.test", {{}, {"fd00::66"}}},
        {"v6late.quarn.test", {{}, {"fd00::67"}, true, false}},
    });
    if (!dns_->available()) {
      GTEST_SKIP() << "cannot bind port 53 on a loopback address";
    }
    engine_ = std::make_unique<DownloadEngine>(std::make_unique<PollEventPoll>());
    engine_->setAsyncDNSServers(parseAsyncDNSServers(dns_->address()));
  }

  void TearDown() override {
    if (engine_) {
      man_.reset(engine_.get(), &command_);
    }
  }

  // Turns the event poll, as the loop does, until the lookup is decided.
  int waitForStatus() {
    for (int i = 0; i < 200; ++i) {
      int status = man_.getStatus();
      if (status != 0) {
        return status;
      }
      engine_->getEventPoll()->poll(timeval{0, 50000});
    }
    return man_.getStatus();
  }

  std::vector<std::string> addresses() const {
    std::vector<std::string> res;
    man_.getResolvedAddress(res);
    return res;
  }

  std::unique_ptr<DnsStandIn> dns_;
  std::unique_ptr<DownloadEngine> engine_;
  IdleCommand command_;
  AsyncNameResolverMan man_;
};

TEST_F(AsyncNameResolverManTest, HostWithOnlyIPv6AddressesResolves) {
  man_.startAsync("v6only.quarn.test", engine_.get(), &command_);
  EXPECT_TRUE(man_.started());
  // The IPv4 query fails; the IPv6 answer alone must be a success, not a
  // wait that only the command's time-out would end.
  ASSERT_EQ(1, waitForStatus());
  EXPECT_EQ(std::vector<std::string>{"fd00::66"}, addresses());
}

TEST_F(AsyncNameResolverManTest, IPv6SuccessWaitsForTheIPv4Answer) {
  man_.startAsync("v6late.quarn.test", engine_.get(), &command_);
  // The IPv4 query is never answered, so the IPv6 success alone stays
  // undecided until c-ares gives the IPv4 query up.
  for (int i = 0; i < 10; ++i) {
    engine_->getEventPoll()->poll(timeval{0, 20000});
  }
  EXPECT_EQ(0, man_.getStatus());
}

TEST_F(AsyncNameResolverManTest, IPv4AnswerEndsTheWait) {
  man_.startAsync("v4first.quarn.test", engine_.get(), &command_);
  ASSERT_EQ(1, waitForStatus());
  EXPECT_EQ(std::vector<std::string>{"127.1.2.5"}, addresses());
}

TEST_F(AsyncNameResolverManTest, BothFamiliesListIPv6First) {
  man_.startAsync("both.quarn.test", engine_.get(), &command_);
  ASSERT_EQ(1, waitForStatus());
  for (int i = 0; i < 200 && addresses().size() < 2; ++i) {
    engine_->getEventPoll()->poll(timeval{0, 50000});
  }
  EXPECT_EQ((std::vector<std::string>{"fd00::53", "127.1.2.3"}), addresses());
}

TEST_F(AsyncNameResolverManTest, UnknownHostFailsWithTheFirstError) {
  man_.startAsync("nowhere.quarn.test", engine_.get(), &command_);
  ASSERT_EQ(-1, waitForStatus());
  EXPECT_EQ(ares_strerror(ARES_ENOTFOUND), man_.getLastError());
  EXPECT_TRUE(addresses().empty());
}

TEST_F(AsyncNameResolverManTest, SwitchedOffFamiliesAreNotAsked) {
  man_.setIPv6(false);
  man_.startAsync("both.quarn.test", engine_.get(), &command_);
  ASSERT_EQ(1, waitForStatus());
  EXPECT_EQ(std::vector<std::string>{"127.1.2.3"}, addresses());
  EXPECT_EQ(0u, dns_->queries().count({"both.quarn.test", TYPE_AAAA}));
  EXPECT_EQ(1u, dns_->queries().count({"both.quarn.test", TYPE_A}));

  man_.reset(engine_.get(), &command_);
  EXPECT_FALSE(man_.started());
  man_.setIPv4(false);
  man_.startAsync("both.quarn.test", engine_.get(), &command_);
  EXPECT_FALSE(man_.started());
  EXPECT_EQ(1, man_.getStatus());
  EXPECT_TRUE(addresses().empty());
}

TEST_F(AsyncNameResolverManTest, DisableIPv6OptionLeavesOnlyIPv4) {
  Option option;
  option.put(PREF_DISABLE_IPV6, "true");
  configureAsyncNameResolverMan(&man_, &option);
  man_.startAsync("both.quarn.test", engine_.get(), &command_);
  ASSERT_EQ(1, waitForStatus());
  if (net::getIPv4AddrConfigured()) {
    EXPECT_EQ(std::vector<std::string>{"127.1.2.3"}, addresses());
  }
  EXPECT_EQ(0u, dns_->queries().count({"both.quarn.test", TYPE_AAAA}));
}

}  // namespace quarn

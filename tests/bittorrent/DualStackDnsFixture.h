#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/PollEventPoll.h"
#include "net/AsyncNameResolver.h"
#include "net/DnsStandIn.h"

namespace quarn::test {

// A name server stand-in that knows one host with both an IPv4 and an IPv6
// address, and options that resolve asynchronously with IPv6 allowed: which
// address a command goes on with shows the family it asked for. Skips the
// test where the stand-in cannot bind its port.
class DualStackDnsFixture : public ::testing::Test {
 protected:
  static constexpr const char* HOST = "dual.quarn.test";

  DualStackDnsFixture() {
    option->put(PREF_ASYNC_DNS, "true");
    option->put(PREF_DISABLE_IPV6, "false");
  }

  void SetUp() override {
    if (!dns.available()) {
      GTEST_SKIP() << "cannot bind port 53 on a loopback address";
    }
  }

  // An engine whose asynchronous look-ups go to the stand-in.
  std::unique_ptr<DownloadEngine> makeEngine() const {
    auto engine = std::make_unique<DownloadEngine>(std::make_unique<PollEventPoll>());
    engine->setOption(option.get());
    engine->setAsyncDNSServers(parseAsyncDNSServers(dns.address()));
    return engine;
  }

  DnsStandIn dns{{{HOST, {{"127.1.2.3"}, {"fd00::53"}}}}};
  std::shared_ptr<Option> option = makeGlobalOption();
};

}  // namespace quarn::test

#include "net/AsyncNameResolver.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

#include "DnsStandIn.h"

namespace quarn {

namespace {

struct ServerList {
  explicit ServerList(const std::string& text) : head(parseAsyncDNSServers(text)) {}
  ~ServerList() { freeAsyncDNSServers(head); }
  ares_addr_node* head;
};

bool finished(const AsyncNameResolver& r) {
  return r.getStatus() == AsyncNameResolver::STATUS_SUCCESS ||
         r.getStatus() == AsyncNameResolver::STATUS_ERROR;
}

// Waits on the resolver's sockets as an event poll would and lets it process
// what is ready, until it has finished.
void runWithPoll(AsyncNameResolver& resolver) {
  for (int i = 0; i < 400 && !finished(resolver); ++i) {
    ares_socket_t socks[ARES_GETSOCK_MAXNUM];
    int mask = resolver.getsock(socks);
    pollfd fds[ARES_GETSOCK_MAXNUM];
    int nfds = 0;
    for (int s = 0; s < ARES_GETSOCK_MAXNUM; ++s) {
      short events = (ARES_GETSOCK_READABLE(mask, s) ? POLLIN : 0) |
                     (ARES_GETSOCK_WRITABLE(mask, s) ? POLLOUT : 0);
      if (events) {
        fds[nfds++] = {socks[s], events, 0};
      }
    }
    poll(fds, nfds, 50);
    for (int k = 0; k < nfds; ++k) {
      resolver.process((fds[k].revents & POLLIN) ? fds[k].fd : ARES_SOCKET_BAD,
                       (fds[k].revents & POLLOUT) ? fds[k].fd : ARES_SOCKET_BAD);
    }
    resolver.process(ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  }
}

void runWithSelect(AsyncNameResolver& resolver) {
  for (int i = 0; i < 400 && !finished(resolver); ++i) {
    fd_set rfds;
    fd_set wfds;
    FD_ZERO(&rfds);
    FD_ZERO(&wfds);
    int nfds = resolver.getFds(&rfds, &wfds);
    timeval tv{0, 50000};
    select(nfds, &rfds, &wfds, nullptr, &tv);
    resolver.process(&rfds, &wfds);
  }
}

}  // namespace

class AsyncNameResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dns_ = std::make_unique<DnsStandIn>(std::map<std::string, DnsStandIn::Records>{
        {"both.quarn.test", {{"127.1.2.3", "127.1.2.4"}, {"fd00::53"}}},
        {"v6only.quarn.test", {{}, {"fd00::66"}}},
    });
    if (!dns_->available()) {
      GTEST_SKIP() << "cannot bind port 53 on a loopback address";
    }
    servers_ = std::make_unique<ServerList>(dns_->address());
    ASSERT_NE(nullptr, servers_->head);
  }

  std::unique_ptr<DnsStandIn> dns_;
  std::unique_ptr<ServerList> servers_;
};

TEST_F(AsyncNameResolverTest, ResolvesEachFamilyFromTheLocalServer) {
  AsyncNameResolver v4(AF_INET, servers_->head);
  EXPECT_EQ(AsyncNameResolver::STATUS_READY, v4.getStatus());
  v4.resolve("both.quarn.test");
  EXPECT_EQ(AsyncNameResolver::STATUS_QUERYING, v4.getStatus());
  EXPECT_EQ("both.quarn.test", v4.getHostname());
  runWithPoll(v4);
  ASSERT_EQ(AsyncNameResolver::STATUS_SUCCESS, v4.getStatus()) << v4.getError();
  EXPECT_EQ((std::vector<std::string>{"127.1.2.3", "127.1.2.4"}), v4.getResolvedAddresses());

  AsyncNameResolver v6(AF_INET6, servers_->head);
  v6.resolve("both.quarn.test");
  runWithSelect(v6);
  ASSERT_EQ(AsyncNameResolver::STATUS_SUCCESS, v6.getStatus()) << v6.getError();
  EXPECT_EQ(std::vector<std::string>{"fd00::53"}, v6.getResolvedAddresses());
  EXPECT_EQ(AF_INET6, v6.getFamily());
  EXPECT_FALSE(v4 == v6);
  EXPECT_TRUE(v4 == v4);
}

TEST_F(AsyncNameResolverTest, FailuresCarryTheLibraryText) {
  AsyncNameResolver unknown(AF_INET, servers_->head);
  unknown.resolve("nowhere.quarn.test");
  runWithPoll(unknown);
  EXPECT_EQ(AsyncNameResolver::STATUS_ERROR, unknown.getStatus());
  EXPECT_EQ(ares_strerror(ARES_ENOTFOUND), unknown.getError());

  AsyncNameResolver noV4(AF_INET, servers_->head);
  noV4.resolve("v6only.quarn.test");
  runWithPoll(noV4);
  EXPECT_EQ(AsyncNameResolver::STATUS_ERROR, noV4.getStatus());
  EXPECT_EQ(ares_strerror(ARES_ENODATA), noV4.getError());
  EXPECT_TRUE(noV4.getResolvedAddresses().empty());
}

TEST(AsyncDNSServersTest, ParsesNumericAddressesOnly) {
  ServerList list("127.0.0.1, ::1,localhost,,");
  ASSERT_NE(nullptr, list.head);
  EXPECT_EQ(AF_INET, list.head->family);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), list.head->addr.addr4.s_addr);
  ASSERT_NE(nullptr, list.head->next);
  EXPECT_EQ(AF_INET6, list.head->next->family);
  EXPECT_EQ(1, list.head->next->addr.addr6._S6_un._S6_u8[15]);
  EXPECT_EQ(nullptr, list.head->next->next);

  ServerList empty("");
  EXPECT_EQ(nullptr, empty.head);
  ServerList names("localhost, example");
  EXPECT_EQ(nullptr, names.head);
}

}  // namespace quarn

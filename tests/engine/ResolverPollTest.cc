#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/Command.h"
#include "engine/EpollEventPoll.h"
#include "engine/PollEventPoll.h"
#include "engine/SelectEventPoll.h"
#include "net/AsyncNameResolver.h"

namespace quarn {
namespace {

class NopCommand : public Command {
 public:
  NopCommand() : Command(1) {}
  bool execute() override { return true; }
};

// Answers A queries with 127.0.0.1 from port 53 of a loopback address of its
// own. The test drives it between polls, so no thread is needed.
class DnsResponder {
 public:
  static constexpr const char* ADDRESS = "127.53.0.9";

  DnsResponder() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(53);
    inet_pton(AF_INET, ADDRESS, &sa.sin_addr);
    if (fd_ != -1 && bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == -1) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~DnsResponder() {
    if (fd_ != -1) {
      close(fd_);
    }
  }
  bool available() const { return fd_ != -1; }

  void answerPending() {
    unsigned char query[512];
    sockaddr_storage from;
    socklen_t fromlen = sizeof(from);
    ssize_t n;
    while ((n = recvfrom(fd_, query, sizeof(query), 0, reinterpret_cast<sockaddr*>(&from),
                         &fromlen)) > 12) {
      size_t end = 12;
      while (end < static_cast<size_t>(n) && query[end] != 0) {
        end += query[end] + 1;
      }
      end += 5;  // terminating zero, type, class
      if (end > static_cast<size_t>(n)) {
        continue;
      }
      std::string reply(reinterpret_cast<char*>(query), end);
      reply[2] = '\x81';
      reply[3] = '\x80';
      const unsigned char counts[] = {0, 1, 0, 1, 0, 0, 0, 0};
      reply.replace(4, 8, reinterpret_cast<const char*>(counts), 8);
      const unsigned char answer[] = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1};
      reply.append(reinterpret_cast<const char*>(answer), sizeof(answer));
      sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromlen);
      fromlen = sizeof(from);
    }
  }

 private:
  int fd_;
};

struct PollMaker {
  std::string name;
  std::function<std::unique_ptr<EventPoll>()> make;
};

class ResolverPollTest : public ::testing::TestWithParam<PollMaker> {};

TEST_P(ResolverPollTest, FinishedLookupWakesTheWaitingCommand) {
  DnsResponder dns;
  if (!dns.available()) {
    GTEST_SKIP() << "cannot bind port 53 on loopback";
  }
  ares_addr_node* servers = parseAsyncDNSServers(DnsResponder::ADDRESS);
  auto resolver = std::make_shared<AsyncNameResolver>(AF_INET, servers);
  freeAsyncDNSServers(servers);
  auto poll = GetParam().make();
  NopCommand command;

  resolver->resolve("pool.test");
  ASSERT_TRUE(poll->addNameResolver(resolver, &command));
  EXPECT_FALSE(poll->addNameResolver(resolver, &command));
  for (int i = 0; i < 300 && resolver->getStatus() == AsyncNameResolver::STATUS_QUERYING; ++i) {
    dns.answerPending();
    poll->poll({0, 10000});
  }
  ASSERT_EQ(AsyncNameResolver::STATUS_SUCCESS, resolver->getStatus());
  EXPECT_EQ(Command::STATUS_ACTIVE, command.getStatus());
  ASSERT_EQ(1u, resolver->getResolvedAddresses().size());
  EXPECT_EQ("127.0.0.1", resolver->getResolvedAddresses()[0]);

  EXPECT_TRUE(poll->deleteNameResolver(resolver, &command));
  EXPECT_FALSE(poll->deleteNameResolver(resolver, &command));
}

INSTANTIATE_TEST_SUITE_P(
    AllPolls, ResolverPollTest,
    ::testing::Values(PollMaker{"epoll", [] { return std::make_unique<EpollEventPoll>(); }},
                      PollMaker{"poll", [] { return std::make_unique<PollEventPoll>(); }},
                      PollMaker{"select", [] { return std::make_unique<SelectEventPoll>(); }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quarn

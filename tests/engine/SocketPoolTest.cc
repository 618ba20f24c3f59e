#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/DownloadEngine.h"
#include "engine/FakeEventPoll.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;

// The client end of a loopback connection whose server end stays open, so the
// client is idle and not readable.
struct Connection {
  std::shared_ptr<SocketCore> client;
  std::shared_ptr<SocketCore> server;

  static Connection make() {
    auto listener = std::make_shared<SocketCore>();
    listener->bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
    listener->beginListen();
    Connection c;
    c.client = std::make_shared<SocketCore>();
    c.client->establishConnection("127.0.0.1", listener->getAddrInfo().port);
    EXPECT_TRUE(listener->isReadable(10));
    EXPECT_TRUE(c.client->isWritable(10));
    c.server = listener->acceptConnection();
    return c;
  }
};

class SocketPoolTest : public ::testing::Test {
 protected:
  void TearDown() override { global::wallclock().reset(); }

  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
};

TEST(SockPoolKeyTest, Format) {
  struct Case {
    const char* user;
    const char* proxy;
    uint16_t proxyPort;
    const char* tlsHost;
    const char* key;
  } cases[] = {
      {"", "", 0, "", "192.0.2.1(80)"},
      {"", "proxy", 8080, "", "192.0.2.1(80)/proxy(8080)"},
      {"user", "proxy", 8080, "", "user@192.0.2.1(80)/proxy(8080)"},
      {"a@b", "", 0, "", "a%40b@192.0.2.1(80)"},
      {"", "", 0, "www.example.org", "192.0.2.1(80)#www.example.org"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.key, DownloadEngine::createSockPoolKey("192.0.2.1", 80, c.user, c.proxy,
                                                       c.proxyPort, c.tlsHost));
  }
}

TEST_F(SocketPoolTest, EntriesOfOneKeyAreHandedOutInPoolingOrder) {
  auto a = Connection::make();
  auto b = Connection::make();
  engine_.poolSocket("192.0.2.1", 80, "", 0, a.client, 15s);
  engine_.poolSocket("192.0.2.1", 80, "", 0, b.client, 15s);
  EXPECT_EQ(nullptr, engine_.popPooledSocket("192.0.2.1", 81, "", 0));
  EXPECT_EQ(a.client, engine_.popPooledSocket("192.0.2.1", 80, "", 0));
  EXPECT_EQ(b.client,
            engine_.popPooledSocket(std::vector<std::string>{"192.0.2.9", "192.0.2.1"}, 80));
  EXPECT_EQ(nullptr, engine_.popPooledSocket("192.0.2.1", 80, "", 0));
}

TEST_F(SocketPoolTest, ConnectionClosedByPeerIsSkipped) {
  auto closed = Connection::make();
  auto open = Connection::make();
  engine_.poolSocket("192.0.2.1", 80, "", 0, closed.client, 15s);
  engine_.poolSocket("192.0.2.1", 80, "", 0, open.client, 15s);
  closed.server->closeConnection();
  ASSERT_TRUE(closed.client->isReadable(10));
  EXPECT_EQ(open.client, engine_.popPooledSocket("192.0.2.1", 80, "", 0));
  EXPECT_EQ(1u, engine_.getSocketPoolSize());  // left for eviction
}

TEST_F(SocketPoolTest, UserNameAndOptionsTravelWithTheEntry) {
  auto c = Connection::make();
  engine_.poolSocket("192.0.2.1", 21, "anon", "", 0, c.client, "/pub", 15s);
  std::string options;
  EXPECT_EQ(nullptr, engine_.popPooledSocket("192.0.2.1", 21, "", 0));
  EXPECT_EQ(nullptr, engine_.popPooledSocket(options, {"192.0.2.1"}, 21, "other"));
  EXPECT_EQ(c.client, engine_.popPooledSocket(options, {"192.0.2.1"}, 21, "anon"));
  EXPECT_EQ("/pub", options);
}

TEST_F(SocketPoolTest, TimedOutEntriesAreNotReusedAndEvicted) {
  auto c = Connection::make();
  engine_.poolSocket("192.0.2.1", 80, "", 0, c.client, 15s);
  Timer pooled = global::wallclock();
  global::wallclock() = Timer(pooled.getTime() + 14s);
  engine_.evictSocketPool();
  EXPECT_EQ(1u, engine_.getSocketPoolSize());
  global::wallclock() = Timer(pooled.getTime() + 15s);
  EXPECT_EQ(nullptr, engine_.popPooledSocket("192.0.2.1", 80, "", 0));
  engine_.evictSocketPool();
  EXPECT_EQ(0u, engine_.getSocketPoolSize());
}

// A TLS connection was verified for one host name; another name served from
// the same address must not get it, nor must a plain-text lookup.
TEST_F(SocketPoolTest, TLSConnectionIsReusedOnlyForItsHostName) {
  auto c = Connection::make();
  engine_.poolTLSSocket("a.example", "192.0.2.1", 443, "", 0, c.client, 15s);
  EXPECT_EQ(nullptr, engine_.popPooledSocket({"192.0.2.1"}, 443));
  EXPECT_EQ(nullptr, engine_.popPooledTLSSocket("b.example", {"192.0.2.1"}, 443));
  EXPECT_EQ(c.client, engine_.popPooledTLSSocket("a.example", {"192.0.2.1"}, 443));
}

std::shared_ptr<Request> makeRequest(const std::string& uri) {
  auto request = std::make_shared<Request>();
  EXPECT_TRUE(request->setUri(uri));
  return request;
}

TEST_F(SocketPoolTest, DirectRequestIsKeyedByPeerAddress) {
  auto c = Connection::make();
  uint16_t port = c.client->getPeerInfo().port;
  engine_.poolSocket(makeRequest("http://host.example/"), nullptr, c.client, 15s);
  EXPECT_EQ(c.client, engine_.popPooledSocket({"127.0.0.1"}, port));
}

TEST_F(SocketPoolTest, ProxiedRequestIsKeyedByHostAndProxy) {
  auto c = Connection::make();
  engine_.poolSocket(makeRequest("https://host.example/"), "user",
                     makeRequest("http://proxy.example:8080/"), c.client, "", 15s);
  std::string options;
  EXPECT_EQ(c.client,
            engine_.popPooledSocket(options, "host.example", 443, "user", "proxy.example", 8080));
}

// Two host names served from one address: the TLS connection verified for one
// of them is not handed to the other.
TEST_F(SocketPoolTest, DirectHttpsRequestIsKeyedByItsHostName) {
  auto c = Connection::make();
  uint16_t port = c.client->getPeerInfo().port;
  engine_.poolSocket(makeRequest("https://a.example/"), nullptr, c.client, 15s);
  EXPECT_EQ(nullptr, engine_.popPooledSocket({"127.0.0.1"}, port));
  EXPECT_EQ(nullptr, engine_.popPooledTLSSocket("b.example", {"127.0.0.1"}, port));
  EXPECT_EQ(c.client, engine_.popPooledTLSSocket("a.example", {"127.0.0.1"}, port));
}

TEST_F(SocketPoolTest, SocketWithoutPeerIsNotPooled) {
  auto unconnected = std::make_shared<SocketCore>();
  unconnected->create(AF_INET);
  engine_.poolSocket(makeRequest("http://host.example/"), nullptr, unconnected, 15s);
  EXPECT_EQ(0u, engine_.getSocketPoolSize());
}

}  // namespace
}  // namespace quarn

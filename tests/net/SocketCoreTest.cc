#include "net/SocketCore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <string>

#include "LoopbackPair.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"

namespace quarn {

namespace {

std::string readAll(SocketCore& socket, size_t expected) {
  std::string received;
  char buf[65536];
  while (received.size() < expected) {
    size_t len = sizeof(buf);
    socket.readData(buf, len);
    if (len == 0) {
      if (!socket.wantRead()) {
        break;
      }
      socket.isReadable(10);
      continue;
    }
    received.append(buf, len);
  }
  return received;
}

// A port on 127.0.0.1 that nothing listens on.
uint16_t closedPort() {
  SocketCore s;
  s.bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  return s.getAddrInfo().port;
}

}  // namespace

TEST(SocketCoreTest, StreamTransferEndsWithOrderlyClose) {
  auto pair = LoopbackPair::make();
  EXPECT_EQ("", pair.client->getSocketError());
  EXPECT_FALSE(pair.client->isBlocking());
  EXPECT_FALSE(pair.server->isBlocking());
  EXPECT_EQ("127.0.0.1", pair.client->getPeerInfo().addr);
  EXPECT_EQ(pair.client->getAddrInfo().port, pair.server->getPeerInfo().port);
  EXPECT_EQ(AF_INET, pair.server->getAddressFamily());

  // Nothing to read yet: would block.
  char buf[16];
  size_t len = sizeof(buf);
  pair.server->readData(buf, len);
  EXPECT_EQ(0u, len);
  EXPECT_TRUE(pair.server->wantRead());
  EXPECT_FALSE(pair.server->isReadable(0));

  EXPECT_EQ(5, pair.client->writeData("hello", 5));
  EXPECT_EQ("hello", readAll(*pair.server, 5));

  iovec iov[2] = {{const_cast<char*>("ab"), 2}, {const_cast<char*>("cde"), 3}};
  EXPECT_EQ(5, pair.client->writeVector(iov, 2));
  EXPECT_EQ("abcde", readAll(*pair.server, 5));

  pair.client->closeConnection();
  ASSERT_TRUE(pair.server->isReadable(10));
  len = sizeof(buf);
  pair.server->readData(buf, len);
  EXPECT_EQ(0u, len);
  EXPECT_FALSE(pair.server->wantRead());
  EXPECT_FALSE(pair.server->wantWrite());
}

TEST(SocketCoreTest, PeekLeavesTheBytesForTheNextRead) {
  auto pair = LoopbackPair::make();
  char buf[16];
  size_t len = sizeof(buf);
  pair.server->peekData(buf, len);
  EXPECT_EQ(0u, len);
  EXPECT_TRUE(pair.server->wantRead());

  EXPECT_EQ(5, pair.client->writeData("hello", 5));
  ASSERT_TRUE(pair.server->isReadable(10));
  for (int i = 0; i < 2; ++i) {
    len = sizeof(buf);
    pair.server->peekData(buf, len);
    EXPECT_EQ("hello", std::string(buf, len));
    EXPECT_FALSE(pair.server->wantRead());
  }
  EXPECT_EQ("hello", readAll(*pair.server, 5));

  pair.client->closeConnection();
  ASSERT_TRUE(pair.server->isReadable(10));
  len = sizeof(buf);
  pair.server->peekData(buf, len);
  EXPECT_EQ(0u, len);
  EXPECT_FALSE(pair.server->wantRead());
  EXPECT_FALSE(pair.server->wantWrite());
}

TEST(SocketCoreTest, WriteToVanishedPeerFailsWithoutSignal) {
  // With the default action, a SIGPIPE would end the test process.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  struct sigaction old {};
  sigaction(SIGPIPE, &dfl, &old);

  auto pair = LoopbackPair::make();
  pair.server->closeConnection();
  std::string chunk(65536, 'x');
  auto keepWriting = [&] {
    for (int i = 0; i < 1000; ++i) {
      pair.client->writeData(chunk.data(), chunk.size());
      iovec iov = {chunk.data(), chunk.size()};
      pair.client->writeVector(&iov, 1);
      pair.client->isWritable(1);
    }
  };
  EXPECT_THROW(keepWriting(), DlRetryEx);
  sigaction(SIGPIPE, &old, nullptr);
}

TEST(SocketCoreTest, RefusedConnectReportsItsCause) {
  SocketCore client;
  client.establishConnection("127.0.0.1", closedPort());
  ASSERT_TRUE(client.isWritable(10));
  EXPECT_EQ(strerror(ECONNREFUSED), client.getSocketError());
}

TEST(SocketCoreTest, UnresolvableHostFailsBeforeConnecting) {
  SocketCore client;
  SocketCore::protocolFamily_ = AF_INET;
  EXPECT_THROW(client.establishConnection("::1", 80), DlAbortEx);
  SocketCore::protocolFamily_ = AF_UNSPEC;
  EXPECT_FALSE(client.isOpen());
}

TEST(SocketCoreTest, IPv6ListenerLeavesIPv4ToItsOwnSocket) {
  SocketCore v6;
  try {
    v6.bind("::", 0, AF_INET6, AI_PASSIVE);
  } catch (const DlAbortEx&) {
    GTEST_SKIP() << "no IPv6 on this host";
  }
  v6.beginListen();
  uint16_t port = v6.getAddrInfo().port;

  // Without IPV6_V6ONLY the wildcard IPv6 socket would hold the IPv4 port too.
  SocketCore v4;
  v4.bind("0.0.0.0", port, AF_INET, AI_PASSIVE);
  v4.beginListen();

  SocketCore client;
  client.establishConnection("127.0.0.1", port);
  ASSERT_TRUE(v4.isReadable(10));
  EXPECT_FALSE(v6.isReadable(0));
  auto accepted = v4.acceptConnection();
  EXPECT_EQ(AF_INET, accepted->getAddressFamily());
}

// Hook commands run as children of the process; none of them may inherit a
// connection, whichever way the descriptor came to be.
TEST(SocketCoreTest, EveryDescriptorIsCloseOnExec) {
  auto listener = listenOnLoopback();
  auto pair = LoopbackPair::make();
  for (const auto* socket : {listener.get(), pair.client.get(), pair.server.get()}) {
    int flags = fcntl(socket->getSockfd(), F_GETFD);
    ASSERT_NE(-1, flags);
    EXPECT_TRUE(flags & FD_CLOEXEC) << "descriptor " << socket->getSockfd();
  }
}

TEST(SocketCoreTest, DatagramsCarryTheSender) {
  SocketCore receiver(SOCK_DGRAM);
  receiver.bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  receiver.setNonBlockingMode();
  SocketCore sender(SOCK_DGRAM);
  sender.bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  sender.setNonBlockingMode();

  char buf[64];
  Endpoint from{};
  EXPECT_EQ(0, receiver.readDataFrom(buf, sizeof(buf), from));
  EXPECT_TRUE(receiver.wantRead());

  EXPECT_EQ(4, sender.writeData("ping", 4, "127.0.0.1", receiver.getAddrInfo().port));
  ASSERT_TRUE(receiver.isReadable(10));
  ASSERT_EQ(4, receiver.readDataFrom(buf, sizeof(buf), from));
  EXPECT_EQ("ping", std::string(buf, 4));
  EXPECT_EQ("127.0.0.1", from.addr);
  EXPECT_EQ(AF_INET, from.family);
  EXPECT_EQ(sender.getAddrInfo().port, from.port);
}

TEST(SocketCoreTest, MulticastAddressesMustBeNumericIPv4) {
  SocketCore s(SOCK_DGRAM);
  s.bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  try {
    s.joinMulticastGroup("localhost", 6771, "");
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("localhost is not valid IPv4 numeric address", e.what());
  }
  EXPECT_THROW(s.setMulticastInterface("::1"), DlAbortEx);
  s.setMulticastTtl(1);
  s.setMulticastLoop(1);
  s.setMulticastInterface("");
}

TEST(SocketCoreTest, BindFailureNamesTheCause) {
  SocketCore first;
  first.bind("127.0.0.1", 0, AF_INET, AI_PASSIVE);
  first.beginListen();
  SocketCore second;
  // SO_REUSEADDR does not let a second socket take a listening port.
  try {
    second.bind("127.0.0.1", first.getAddrInfo().port, AF_INET, AI_PASSIVE);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(std::string("Failed to bind a socket, cause: ") + strerror(EADDRINUSE), e.what());
  }
  EXPECT_FALSE(second.isOpen());
}

class SocketCoreBindAddressTest : public ::testing::Test {
 protected:
  void TearDown() override { SocketCore::resetBindAddress(); }
};

TEST_F(SocketCoreBindAddressTest, LoopbackInterfaceAddressesByFamily) {
  auto v4 = SocketCore::getInterfaceAddress("lo", AF_INET);
  ASSERT_FALSE(v4.empty());
  for (const auto& a : v4) {
    EXPECT_EQ(AF_INET, a.su.storage.ss_family);
    EXPECT_EQ(sizeof(sockaddr_in), a.suLength);
  }
  auto all = SocketCore::getInterfaceAddress("lo", AF_UNSPEC);
  EXPECT_GE(all.size(), v4.size());
}

TEST_F(SocketCoreBindAddressTest, HostNameFallbackKeepsOnlyBindableAddresses) {
  auto local = SocketCore::getInterfaceAddress("127.0.0.2", AF_INET);
  ASSERT_EQ(1u, local.size());
  // An address of no local interface cannot be bound, so it is left out.
  EXPECT_TRUE(SocketCore::getInterfaceAddress("192.0.2.222", AF_INET).empty());
}

TEST_F(SocketCoreBindAddressTest, MultipleInterfacesTakeTurns) {
  SocketCore::bindAllAddress("127.0.0.2, ,127.0.0.3");
  auto listener = listenOnLoopback();
  uint16_t port = listener->getAddrInfo().port;
  std::vector<std::string> localAddrs;
  for (int i = 0; i < 3; ++i) {
    SocketCore client;
    client.establishConnection("127.0.0.1", port);
    ASSERT_TRUE(client.isWritable(10));
    localAddrs.push_back(client.getAddrInfo().addr);
    listener->isReadable(10);
    listener->acceptConnection();
  }
  EXPECT_EQ((std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.2"}), localAddrs);
}

TEST_F(SocketCoreBindAddressTest, ConfigurationErrorsKeepTheOldSetting) {
  SocketCore::bindAddress("127.0.0.2");
  try {
    SocketCore::bindAllAddress(" , ");
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("List of interfaces is empty, one or more interfaces is required", e.what());
  }
  try {
    SocketCore::bindAllAddress("127.0.0.3,192.0.2.222");
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Failed to find given interface 192.0.2.222, cause: not available", e.what());
  }
  auto listener = listenOnLoopback();
  SocketCore client;
  client.establishConnection("127.0.0.1", listener->getAddrInfo().port);
  ASSERT_TRUE(client.isWritable(10));
  EXPECT_EQ("127.0.0.2", client.getAddrInfo().addr);
}

TEST_F(SocketCoreBindAddressTest, PassiveBindSkipsAddressesOfOtherFamily) {
  SocketCore::bindAddress("127.0.0.2");
  SocketCore v6;
  try {
    v6.bind(nullptr, 0, AF_INET6, AI_PASSIVE);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Failed to bind a socket, cause: ", e.what());
  }
  SocketCore any;
  any.bind(nullptr, 0, AF_UNSPEC, AI_PASSIVE);
  EXPECT_EQ("127.0.0.2", any.getAddrInfo().addr);
}

TEST_F(SocketCoreBindAddressTest, BindAddressOfOtherFamilyFailsTheConnect) {
  SocketCore::bindAddress("127.0.0.2");
  SocketCore client;
  try {
    client.establishConnection("::1", 80);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(0u, std::string(e.what()).find("Failed to connect to the host ::1, cause: "));
  }
}

TEST(SocketCoreOptionTest, ProcessWideSettingsReachNewSockets) {
  SocketCore::setSocketRecvBufferSize(32768);
  SocketCore::ipDscp_ = 0x2e << 2;
  auto pair = LoopbackPair::make();
  SocketCore::setSocketRecvBufferSize(0);
  int dscp = SocketCore::ipDscp_;
  SocketCore::ipDscp_ = 0;

  int rcvbuf = 0;
  socklen_t len = sizeof(rcvbuf);
  getsockopt(pair.client->getSockfd(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, &len);
  // The kernel doubles what it is given, for its own bookkeeping.
  EXPECT_EQ(65536, rcvbuf);
  getsockopt(pair.server->getSockfd(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, &len);
  EXPECT_EQ(65536, rcvbuf);

  SocketCore::ipDscp_ = dscp;
  pair.client->applyIpDscp();
  SocketCore::ipDscp_ = 0;
  int tos = 0;
  len = sizeof(tos);
  getsockopt(pair.client->getSockfd(), IPPROTO_IP, IP_TOS, &tos, &len);
  EXPECT_EQ(dscp, tos);
}

}  // namespace quarn

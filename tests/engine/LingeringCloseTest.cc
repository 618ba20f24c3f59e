#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "engine/DownloadEngine.h"
#include "engine/EpollEventPoll.h"
#include "engine/LingeringCloseCommand.h"
#include "net/SocketCore.h"

namespace quarn {
namespace {

// A connected TCP pair on loopback: (ours, theirs).
std::pair<int, int> tcpPair() {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  ::listen(listener, 1);
  socklen_t len = sizeof(addr);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  int theirs = ::socket(AF_INET, SOCK_STREAM, 0);
  ::connect(theirs, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  int ours = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  ::fcntl(ours, F_SETFL, O_NONBLOCK);
  return {ours, theirs};
}

// Reads until end of stream; the errno of a failed read, or 0.
int readAll(int fd, std::string& got) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n == 0) {
      return 0;
    }
    if (n < 0) {
      return errno;
    }
    got.append(buf, static_cast<size_t>(n));
  }
}

// We sent a lot and the other side's request sits unread on our socket:
// ending the connection must not cost the other side what we sent.
TEST(LingeringCloseTest, PeerReceivesEverythingSentBeforeTheEnd) {
  auto [ours, theirs] = tcpPair();
  const std::string request(100, 'r');
  ASSERT_EQ(100, ::write(theirs, request.data(), request.size()));
  const std::string payload(200000, 'p');
  size_t sent = 0;
  while (sent < payload.size()) {
    ssize_t n = ::write(ours, payload.data() + sent, payload.size() - sent);
    ASSERT_GT(n, 0);
    sent += static_cast<size_t>(n);
    if (sent < payload.size()) {
      // Let the other side make room by reading a little later.
      break;
    }
  }
  DownloadEngine engine{std::make_unique<EpollEventPoll>()};
  {
    auto socket = std::make_shared<SocketCore>(ours, SOCK_STREAM);
    engine.addCommand(std::make_unique<LingeringCloseCommand>(engine.newCUID(), &engine, socket));
  }
  // More from the other side after our end; still nothing is lost.
  ASSERT_EQ(100, ::write(theirs, request.data(), request.size()));
  std::string got;
  EXPECT_EQ(0, readAll(theirs, got));
  EXPECT_EQ(sent, got.size());
  ::close(theirs);
  engine.run();
  EXPECT_EQ(0u, engine.countCommands());
}

}  // namespace
}  // namespace quarn

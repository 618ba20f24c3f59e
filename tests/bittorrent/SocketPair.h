#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "net/SocketCore.h"

namespace quarn::test {

// A connected local socket as this side's SocketCore, and the raw other end
// through which a test plays the remote peer.
struct SocketPair {
  SocketPair() {
    int fds[2];
    EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
    local = std::make_shared<SocketCore>(fds[0], SOCK_STREAM);
    local->setNonBlockingMode();
    remote = fds[1];
  }
  ~SocketPair() { closeRemote(); }
  void write(const std::string& bytes) const {
    EXPECT_EQ(static_cast<ssize_t>(bytes.size()), ::write(remote, bytes.data(), bytes.size()));
  }
  // What this side sent so far.
  std::string readAll() const {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(remote, buf, sizeof(buf), MSG_DONTWAIT)) > 0) {
      out.append(buf, n);
    }
    return out;
  }
  void closeRemote() {
    if (remote != -1) {
      ::close(remote);
      remote = -1;
    }
  }
  std::shared_ptr<SocketCore> local;
  int remote = -1;
};

}  // namespace quarn::test

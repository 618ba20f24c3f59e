#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "net/SocketCore.h"

namespace quarn {

// A listening socket on 127.0.0.1 with a kernel-chosen port.
inline std::shared_ptr<SocketCore> listenOnLoopback(int family = AF_INET) {
  auto server = std::make_shared<SocketCore>();
  server->bind(family == AF_INET ? "127.0.0.1" : "::1", 0, family, AI_PASSIVE);
  server->beginListen();
  return server;
}

// Connected client and accepted server ends of one TCP connection on loopback.
struct LoopbackPair {
  std::shared_ptr<SocketCore> client;
  std::shared_ptr<SocketCore> server;

  static LoopbackPair make() {
    auto listener = listenOnLoopback();
    LoopbackPair pair;
    pair.client = std::make_shared<SocketCore>();
    pair.client->establishConnection("127.0.0.1", listener->getAddrInfo().port);
    if (!listener->isReadable(10) || !pair.client->isWritable(10)) {
      throw std::runtime_error("loopback connection did not come up");
    }
    pair.server = listener->acceptConnection();
    return pair;
  }
};

// Waits for the readiness the socket asked for (bounded, so that a stuck
// peer fails the test instead of hanging it).
inline void waitForWant(SocketCore& socket) {
  if (socket.wantWrite()) {
    socket.isWritable(10);
  } else {
    socket.isReadable(10);
  }
}

// Runs a non-blocking step until it reports done.
inline void driveStep(SocketCore& socket, const std::function<bool()>& step) {
  for (int i = 0; i < 100000; ++i) {
    if (step()) {
      return;
    }
    waitForWant(socket);
  }
  throw std::runtime_error("step never finished");
}

// Waits until one of the sockets has something to read (or 100 ms passed).
inline void waitForEither(const SocketCore& a, const SocketCore& b) {
  pollfd fds[2] = {{a.getSockfd(), POLLIN, 0}, {b.getSockfd(), POLLIN, 0}};
  poll(fds, 2, 100);
}

// Everything that reached the socket so far. Loopback delivers a write before
// the writer's call returns.
inline std::string bytesOf(SocketCore& socket) {
  std::string out;
  char buf[4096];
  while (socket.isReadable(0)) {
    size_t n = sizeof(buf);
    socket.readData(buf, n);
    if (n == 0) {
      break;
    }
    out.append(buf, n);
  }
  return out;
}

}  // namespace quarn

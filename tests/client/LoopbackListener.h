#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quarn {

// A listening socket on 127.0.0.1 on a free port for the test servers: every
// accepted connection is handed to `serve` on a thread of its own. Make it the
// last member of its owner, so that its threads end before the state they use.
class LoopbackListener {
 public:
  explicit LoopbackListener(std::function<void(int)> serve, int backlog = 16)
      : serve_(std::move(serve)), fd_(listenLoopback(port_, backlog)) {
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~LoopbackListener() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    acceptor_.join();
    for (auto& t : workers_) {
      t.join();
    }
  }

  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t port() const { return port_; }
  bool stopping() const { return stop_; }

  // A listening socket on a free loopback port, which is stored in `port`.
  static int listenLoopback(uint16_t& port, int backlog = 8) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    ::listen(fd, backlog);
    return fd;
  }

  // False when the peer went away before everything was sent.
  static bool sendAll(int fd, const std::string& data) {
    size_t off = 0;
    while (off < data.size()) {
      ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      off += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  void acceptLoop() {
    while (!stop_) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) {
        return;
      }
      workers_.emplace_back([this, c] { serve_(c); });
    }
  }

  std::function<void(int)> serve_;
  uint16_t port_ = 0;
  int fd_;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;
};

}  // namespace quarn

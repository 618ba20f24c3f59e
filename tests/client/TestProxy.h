#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "client/LoopbackListener.h"

namespace quarn {

// An HTTP proxy on 127.0.0.1 for the client tests: CONNECT opens a relayed
// tunnel to the named loopback port; any other request is answered with the
// fixed body. Every request head it received is kept.
class TestProxy {
 public:
  // How the answer to CONNECT leaves the proxy.
  enum class Answer {
    ALONE,
    // In one write with the first bytes the server sends, if it speaks first,
    // so that the client reads both at once.
    WITH_FIRST_BYTES,
  };

  explicit TestProxy(std::string getBody = "", Answer answer = Answer::ALONE)
      : getBody_(std::move(getBody)), answer_(answer) {}

  std::string uri() const { return "http://127.0.0.1:" + std::to_string(listener_.port()); }

  std::vector<std::string> heads() {
    std::lock_guard<std::mutex> lock(mu_);
    return heads_;
  }

 private:
  static void sendAll(int fd, const std::string& data) { LoopbackListener::sendAll(fd, data); }

  void serve(int c) {
    std::string head;
    char ch;
    while (head.find("\r\n\r\n") == std::string::npos && ::recv(c, &ch, 1, 0) == 1) {
      head += ch;
    }
    {
      std::lock_guard<std::mutex> lock(mu_);
      heads_.push_back(head);
    }
    if (head.rfind("CONNECT ", 0) != 0) {
      std::ostringstream out;
      out << "HTTP/1.1 200 OK\r\nContent-Length: " << getBody_.size()
          << "\r\nConnection: close\r\n\r\n"
          << getBody_;
      sendAll(c, out.str());
      ::close(c);
      return;
    }
    size_t colon = head.find(':', 8);
    int port = std::stoi(head.substr(colon + 1));
    int up = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(up, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
      sendAll(c, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
      ::close(up);
      ::close(c);
      return;
    }
    std::string answer = "HTTP/1.1 200 Connection established\r\n\r\n";
    if (answer_ == Answer::WITH_FIRST_BYTES) {
      answer += firstBytes(up);
    }
    sendAll(c, answer);
    relay(c, up);
    ::close(up);
    ::close(c);
  }

  // What the server sends on its own soon after the connect; nothing for a
  // server that waits for the client.
  static std::string firstBytes(int fd) {
    pollfd p = {fd, POLLIN, 0};
    char buf[4096];
    if (::poll(&p, 1, 500) <= 0) {
      return "";
    }
    ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
  }

  void relay(int a, int b) {
    char buf[16384];
    while (!listener_.stopping()) {
      pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
      if (::poll(fds, 2, 200) <= 0) {
        continue;
      }
      for (int i = 0; i < 2; ++i) {
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
          ssize_t n = ::recv(fds[i].fd, buf, sizeof(buf), 0);
          if (n <= 0) {
            return;
          }
          sendAll(fds[1 - i].fd, std::string(buf, static_cast<size_t>(n)));
        }
      }
    }
  }

  std::string getBody_;
  Answer answer_;
  std::mutex mu_;
  std::vector<std::string> heads_;
  LoopbackListener listener_{[this](int c) { serve(c); }};
};

}  // namespace quarn

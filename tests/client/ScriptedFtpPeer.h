#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "client/LoopbackListener.h"

namespace quarn {

// A small FTP server on 127.0.0.1 whose every reply the test may replace:
// passive mode only, one file. It records the command lines it received.
class ScriptedFtpPeer {
 public:
  ScriptedFtpPeer(std::string file, std::map<std::string, std::string> replies,
                  std::string greeting = "220 ready\r\n", std::string pasvHost = "127,0,0,1")
      : file_(std::move(file)),
        replies_(std::move(replies)),
        greeting_(std::move(greeting)),
        pasvHost_(std::move(pasvHost)) {}

  std::string url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(listener_.port()) + path;
  }

  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> lock(mu_);
    return commands_;
  }

 private:
  static void sendAll(int fd, const std::string& data) { LoopbackListener::sendAll(fd, data); }

  std::string reply(const std::string& verb, const std::string& fallback) const {
    auto i = replies_.find(verb);
    return i == replies_.end() ? fallback : i->second;
  }

  void serve(int c) {
    sendAll(c, greeting_);
    if (greeting_.compare(0, 3, "220") != 0) {
      // Stays open until the client leaves, so that the reply is all it sees.
      char drain[256];
      while (::recv(c, drain, sizeof(drain), 0) > 0) {
      }
      ::close(c);
      return;
    }
    int dataListener = -1;
    uint64_t rest = 0;
    std::string buf;
    char tmp[1024];
    for (;;) {
      size_t eol;
      while ((eol = buf.find("\r\n")) == std::string::npos) {
        ssize_t n = ::recv(c, tmp, sizeof(tmp), 0);
        if (n <= 0) {
          ::close(c);
          if (dataListener != -1) {
            ::close(dataListener);
          }
          return;
        }
        buf.append(tmp, static_cast<size_t>(n));
      }
      std::string line = buf.substr(0, eol);
      buf.erase(0, eol + 2);
      {
        std::lock_guard<std::mutex> lock(mu_);
        commands_.push_back(line);
      }
      std::string verb = line.substr(0, line.find(' '));
      if (verb == "PASV") {
        uint16_t port;
        dataListener = LoopbackListener::listenLoopback(port);
        sendAll(c, reply(verb, "227 Entering Passive Mode (" + pasvHost_ + "," +
                                   std::to_string(port / 256) + "," + std::to_string(port % 256) +
                                   ").\r\n"));
      } else if (verb == "REST") {
        rest = std::stoull(line.substr(5));
        sendAll(c, reply(verb, "350 ok\r\n"));
      } else if (verb == "RETR" && !replies_.count("RETR")) {
        sendAll(c, "150 here it comes\r\n");
        int d = ::accept(dataListener, nullptr, nullptr);
        sendAll(d, file_.substr(std::min<size_t>(rest, file_.size())));
        ::close(d);
        sendAll(c, "226 done\r\n");
      } else {
        std::map<std::string, std::string> defaults = {
            {"USER", "331 password please\r\n"},
            {"PASS", "230 in\r\n"},
            {"TYPE", "200 ok\r\n"},
            {"PWD", "257 \"/\" is the place\r\n"},
            {"CWD", "250 ok\r\n"},
            {"MDTM", "213 20240102030405\r\n"},
            {"SIZE", "213 " + std::to_string(file_.size()) + "\r\n"}};
        auto d = defaults.find(verb);
        sendAll(c, reply(verb, d == defaults.end() ? "502 no\r\n" : d->second));
      }
    }
  }

  std::string file_;
  std::map<std::string, std::string> replies_;
  std::string greeting_;
  std::string pasvHost_;
  std::mutex mu_;
  std::vector<std::string> commands_;
  LoopbackListener listener_{[this](int c) { serve(c); }, 8};
};

}  // namespace quarn

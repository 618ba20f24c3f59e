#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quarn {

// CTest gives the checkout's root; __FILE__ can be relative to a build folder
// when the compiler cache rewrites paths.
inline std::string sourceDir() {
  if (const char* root = std::getenv("QUARN_SOURCE_DIR")) {
    return std::string(root) + "/tests/client";
  }
  std::string file = __FILE__;
  return file.substr(0, file.rfind('/'));
}

// The scripted FTP server of the end-to-end suite, run by the system
// interpreter, where its library is installed.
class ScriptedFtpServer {
 public:
  explicit ScriptedFtpServer(const std::vector<std::string>& extraArgs = {}) {
    char tmpl[] = "/tmp/quarn-ftpdlg-XXXXXX";
    dir_ = mkdtemp(tmpl);
    mkdir((dir_ + "/root").c_str(), 0755);
    mkdir((dir_ + "/root/pub").c_str(), 0755);
    std::string script = sourceDir() + "/../e2e/ftp_scripted_server.py";
    if (access("/usr/bin/python3", X_OK) != 0 || access(script.c_str(), R_OK) != 0) {
      return;
    }
    std::vector<std::string> args = {"/usr/bin/python3", script,         "--root", dir_ + "/root",
                                     "--port-file",      dir_ + "/port", "--log",  dir_ + "/log"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    for (size_t i = 0; i + 1 < extraArgs.size(); ++i) {
      if (extraArgs[i] == "--host" && extraArgs[i + 1] == "::1") {
        host_ = "[::1]";
      }
    }
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& a : args) {
        argv.push_back(a.data());
      }
      argv.push_back(nullptr);
      freopen((dir_ + "/server.err").c_str(), "w", stderr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int i = 0; i < 400 && port_ == 0; ++i) {
      std::ifstream in(dir_ + "/port");
      in >> port_;
      if (port_ == 0) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
  }

  ~ScriptedFtpServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!getenv("QUARN_KEEP_FTP"))
      std::system(("rm -rf " + dir_).c_str());
  }

  bool available() const { return port_ != 0; }
  uint16_t port() const { return port_; }

  void put(const std::string& relpath, const std::string& data) const {
    std::ofstream out(dir_ + "/root/" + relpath, std::ios::binary);
    out << data;
  }

  std::string root() const { return dir_ + "/root"; }

  std::string url(const std::string& relpath, const std::string& userinfo = "") const {
    return "ftp://" + (userinfo.empty() ? "" : userinfo + "@") + host_ + ":" +
           std::to_string(port_) + "/" + relpath;
  }

  std::string log() const {
    std::ifstream in(dir_ + "/log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string host_ = "127.0.0.1";
};

}  // namespace quarn

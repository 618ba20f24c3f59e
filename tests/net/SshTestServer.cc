#include "SshTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace quarn {

namespace {

// useradd and userdel take a lock on the account files; tests running in
// parallel may find it taken for a moment.
bool runWithRetry(const std::string& command) {
  for (int i = 0; i < 50; ++i) {
    if (std::system(command.c_str()) == 0) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

uint16_t freeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  socklen_t len = sizeof(addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

bool acceptsConnections(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  close(fd);
  return ok;
}

std::string digest(const EVP_MD* md, const std::string& data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), out, &len, md, nullptr);
  return std::string(reinterpret_cast<char*>(out), len);
}

std::string randomPassword() {
  std::ostringstream out;
  out << "Pw" << getpid() << "x" << std::chrono::steady_clock::now().time_since_epoch().count();
  return out.str();
}

}  // namespace

SshTestServer::SshTestServer()
    : user_("qnt" + std::to_string(getpid())),
      password_(randomPassword()),
      userAdded_(false),
      port_(0),
      pid_(-1) {
  chmod(dir_.path().c_str(), 0755);
  if (geteuid() != 0) {
    whyUnavailable_ = "needs root to add a user and run sshd";
    return;
  }
  if (access("/usr/sbin/sshd", X_OK) != 0) {
    whyUnavailable_ = "sshd is not installed";
    return;
  }
  if (!start()) {
    if (whyUnavailable_.empty()) {
      whyUnavailable_ = "sshd did not start";
    }
  }
}

bool SshTestServer::start() {
  std::string log = " >>" + dir_.file("setup.log") + " 2>&1";
  if (!runWithRetry("useradd -M -d " + dir_.path() + " -s /bin/sh " + user_ + log)) {
    whyUnavailable_ = "useradd failed";
    return false;
  }
  userAdded_ = true;
  if (!runWithRetry("echo '" + user_ + ":" + password_ + "' | chpasswd" + log)) {
    whyUnavailable_ = "chpasswd failed";
    return false;
  }
  std::string hostKey = dir_.file("host_key");
  if (std::system(("ssh-keygen -q -t ecdsa -b 256 -N '' -f " + hostKey + log).c_str()) != 0) {
    whyUnavailable_ = "ssh-keygen failed";
    return false;
  }
  readHostKeyDigests();
  mkdir("/run/sshd", 0755);
  port_ = freeLoopbackPort();
  std::string config = dir_.file("sshd_config");
  {
    std::ofstream out(config);
    out << "Port " << port_ << "\n"
        << "ListenAddress 127.0.0.1\n"
        << "HostKey " << hostKey << "\n"
        << "PidFile " << dir_.file("sshd.pid") << "\n"
        << "UsePAM no\n"
        << "PasswordAuthentication yes\n"
        << "KbdInteractiveAuthentication no\n"
        << "PubkeyAuthentication no\n"
        << "PermitRootLogin no\n"
        << "StrictModes no\n"
        << "AllowUsers " << user_ << "\n"
        << "Subsystem sftp internal-sftp\n"
        << "ForceCommand internal-sftp\n"
        << "LogLevel ERROR\n";
  }
  pid_ = fork();
  if (pid_ == 0) {
    std::string logFile = dir_.file("sshd.log");
    execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-e", "-f", config.c_str(), "-E",
          logFile.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    if (acceptsConnections(port_)) {
      return true;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void SshTestServer::readHostKeyDigests() {
  std::ifstream in(dir_.file("host_key.pub"));
  std::string type;
  std::string base64;
  in >> type >> base64;
  std::string blob(base64.size(), '\0');
  int len = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(blob.data()),
                            reinterpret_cast<const unsigned char*>(base64.data()),
                            static_cast<int>(base64.size()));
  // EVP_DecodeBlock counts the padding as zero bytes.
  len -= static_cast<int>(base64.size() - base64.find_last_not_of('=') - 1);
  blob.resize(len);
  hostKeySha1_ = digest(EVP_sha1(), blob);
  hostKeyMd5_ = digest(EVP_md5(), blob);
}

SshTestServer::~SshTestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (userAdded_) {
    runWithRetry("userdel " + user_ + " >/dev/null 2>&1");
  }
}

}  // namespace quarn

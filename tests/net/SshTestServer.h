#pragma once

#include <sys/types.h>
#include <string>

#include "foundation/TempDir.h"

namespace quarn {

// An sshd of its own on 127.0.0.1 with a fresh host key, serving SFTP only to
// a throw-away user with password login. Needs root (to add the user and to
// run sshd); available() tells whether it could start.
class SshTestServer {
 public:
  SshTestServer();
  ~SshTestServer();
  SshTestServer(const SshTestServer&) = delete;
  SshTestServer& operator=(const SshTestServer&) = delete;

  bool available() const { return pid_ > 0; }
  const std::string& whyUnavailable() const { return whyUnavailable_; }
  uint16_t port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // The raw SHA-1 and MD5 digests of the host key blob.
  const std::string& hostKeySha1() const { return hostKeySha1_; }
  const std::string& hostKeyMd5() const { return hostKeyMd5_; }
  // A world-readable directory for files to serve.
  const TempDir& dir() const { return dir_; }

 private:
  bool start();
  void readHostKeyDigests();

  TempDir dir_;
  std::string user_;
  std::string password_;
  bool userAdded_;
  uint16_t port_;
  pid_t pid_;
  std::string hostKeySha1_;
  std::string hostKeyMd5_;
  std::string whyUnavailable_;
};

}  // namespace quarn

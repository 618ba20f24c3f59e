#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "net/SSHSessionMemory.h"

namespace quarn {

enum {
  SSH_ERR_OK = 0,
  SSH_ERR_ERROR = -1,
  SSH_ERR_WOULDBLOCK = -2,
};

enum {
  SSH_WANT_READ = 1,
  SSH_WANT_WRITE = 2,
};

// One non-blocking SSH session over a connected descriptor, with at most one
// SFTP channel and one file open for reading. Steps return SSH_ERR_OK (or a
// byte count), SSH_ERR_ERROR, or SSH_ERR_WOULDBLOCK when the descriptor must
// become ready in the direction checkDirection() names; every step may be
// called again after that.
class SSHSession {
 public:
  SSHSession();
  ~SSHSession();
  SSHSession(const SSHSession&) = delete;
  SSHSession& operator=(const SSHSession&) = delete;

  int init(int sockfd);
  int handshake();
  // Raw digest of the server's host key for "sha-1" or "md5"; empty otherwise.
  std::string hostkeyMessageDigest(const std::string& hashType);
  int authPassword(const std::string& user, const std::string& password);
  int sftpOpen(const std::string& path);
  int sftpStat(int64_t& totalLength, time_t& mtime);
  void sftpSeek(int64_t pos);
  // Bytes of the open file; 0 at its end.
  ssize_t readData(void* data, size_t len);
  int sftpClose();
  int gracefulShutdown();
  int closeConnection();
  int checkDirection();
  std::string getLastErrorString();

 private:
  SSHSessionMemory memory_;
  LIBSSH2_SESSION* ssh2_;
  LIBSSH2_SFTP* sftp_;
  LIBSSH2_SFTP_HANDLE* sftph_;
  int fd_;
};

}  // namespace quarn

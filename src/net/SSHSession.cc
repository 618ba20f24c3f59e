#include "net/SSHSession.h"

#include <sys/socket.h>

#include <cstring>

#include "foundation/MessageDigest.h"

namespace quarn {

namespace {

int toResult(int rv) {
  if (rv == LIBSSH2_ERROR_EAGAIN) {
    return SSH_ERR_WOULDBLOCK;
  }
  return rv == 0 ? SSH_ERR_OK : SSH_ERR_ERROR;
}

}  // namespace

SSHSession::SSHSession() : ssh2_(nullptr), sftp_(nullptr), sftph_(nullptr), fd_(-1) {}

SSHSession::~SSHSession() {
  closeConnection();
}

int SSHSession::init(int sockfd) {
  ssh2_ = libssh2_session_init_ex(SSHSessionMemory::alloc, SSHSessionMemory::free,
                                  SSHSessionMemory::realloc, &memory_);
  if (!ssh2_) {
    return SSH_ERR_ERROR;
  }
  libssh2_session_set_blocking(ssh2_, 0);
  fd_ = sockfd;
  return SSH_ERR_OK;
}

int SSHSession::handshake() {
  return toResult(libssh2_session_handshake(ssh2_, fd_));
}

std::string SSHSession::hostkeyMessageDigest(const std::string& hashType) {
  int libssh2HashType;
  if (hashType == "sha-1") {
    libssh2HashType = LIBSSH2_HOSTKEY_HASH_SHA1;
  } else if (hashType == "md5") {
    libssh2HashType = LIBSSH2_HOSTKEY_HASH_MD5;
  } else {
    return "";
  }
  const char* hash = libssh2_hostkey_hash(ssh2_, libssh2HashType);
  if (!hash) {
    return "";
  }
  return std::string(hash, MessageDigest::getDigestLength(hashType));
}

int SSHSession::authPassword(const std::string& user, const std::string& password) {
  return toResult(libssh2_userauth_password_ex(ssh2_, user.c_str(), strlen(user.c_str()),
                                               password.c_str(), strlen(password.c_str()),
                                               nullptr));
}

int SSHSession::sftpOpen(const std::string& path) {
  if (!sftp_) {
    sftp_ = libssh2_sftp_init(ssh2_);
    if (!sftp_) {
      return libssh2_session_last_errno(ssh2_) == LIBSSH2_ERROR_EAGAIN ? SSH_ERR_WOULDBLOCK
                                                                       : SSH_ERR_ERROR;
    }
  }
  if (sftph_) {
    return SSH_ERR_OK;
  }
  sftph_ = libssh2_sftp_open_ex(sftp_, path.c_str(), strlen(path.c_str()), LIBSSH2_FXF_READ, 0,
                                LIBSSH2_SFTP_OPENFILE);
  if (!sftph_) {
    return libssh2_session_last_errno(ssh2_) == LIBSSH2_ERROR_EAGAIN ? SSH_ERR_WOULDBLOCK
                                                                     : SSH_ERR_ERROR;
  }
  return SSH_ERR_OK;
}

int SSHSession::sftpStat(int64_t& totalLength, time_t& mtime) {
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  int rv = libssh2_sftp_fstat_ex(sftph_, &attrs, 0);
  if (rv != 0) {
    return toResult(rv);
  }
  totalLength = static_cast<int64_t>(attrs.filesize);
  mtime = static_cast<time_t>(attrs.mtime);
  return SSH_ERR_OK;
}

void SSHSession::sftpSeek(int64_t pos) {
  libssh2_sftp_seek64(sftph_, static_cast<libssh2_uint64_t>(pos));
}

ssize_t SSHSession::readData(void* data, size_t len) {
  ssize_t nread = libssh2_sftp_read(sftph_, static_cast<char*>(data), len);
  if (nread == LIBSSH2_ERROR_EAGAIN) {
    return SSH_ERR_WOULDBLOCK;
  }
  if (nread < 0) {
    return SSH_ERR_ERROR;
  }
  return nread;
}

int SSHSession::sftpClose() {
  if (!sftph_) {
    return SSH_ERR_OK;
  }
  int rv = libssh2_sftp_close(sftph_);
  if (rv == 0) {
    sftph_ = nullptr;
  }
  return toResult(rv);
}

int SSHSession::gracefulShutdown() {
  if (sftph_) {
    int rv = sftpClose();
    if (rv != SSH_ERR_OK) {
      return rv;
    }
  }
  if (sftp_) {
    int rv = libssh2_sftp_shutdown(sftp_);
    if (rv != 0) {
      return toResult(rv);
    }
    sftp_ = nullptr;
  }
  if (ssh2_) {
    int rv = libssh2_session_disconnect_ex(ssh2_, SSH_DISCONNECT_BY_APPLICATION, "bye", "");
    if (rv != 0) {
      return toResult(rv);
    }
    libssh2_session_free(ssh2_);
    ssh2_ = nullptr;
    memory_.releaseAll();
  }
  return SSH_ERR_OK;
}

// Tears everything down without waiting for the peer. libssh2 frees its
// objects only once their closing messages are through; when the socket
// would block, shutting it down makes every further step fail at once. What
// the library still holds after that is the session's memory to release.
int SSHSession::closeConnection() {
  if (!ssh2_) {
    return SSH_ERR_OK;
  }
  bool socketShutDown = false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (sftph_ && libssh2_sftp_close(sftph_) != LIBSSH2_ERROR_EAGAIN) {
      sftph_ = nullptr;
    }
    if (!sftph_ && sftp_ && libssh2_sftp_shutdown(sftp_) != LIBSSH2_ERROR_EAGAIN) {
      sftp_ = nullptr;
    }
    if (!sftph_ && !sftp_) {
      libssh2_session_disconnect_ex(ssh2_, SSH_DISCONNECT_BY_APPLICATION, "bye", "");
      if (libssh2_session_free(ssh2_) != LIBSSH2_ERROR_EAGAIN) {
        ssh2_ = nullptr;
        break;
      }
    }
    if (!socketShutDown) {
      shutdown(fd_, SHUT_RDWR);
      socketShutDown = true;
    }
  }
  sftph_ = nullptr;
  sftp_ = nullptr;
  ssh2_ = nullptr;
  memory_.releaseAll();
  return SSH_ERR_OK;
}

int SSHSession::checkDirection() {
  int dir = libssh2_session_block_directions(ssh2_);
  return (dir & LIBSSH2_SESSION_BLOCK_OUTBOUND) ? SSH_WANT_WRITE : SSH_WANT_READ;
}

std::string SSHSession::getLastErrorString() {
  if (!ssh2_) {
    return "SSH session has not been initialized yet";
  }
  char* msg = nullptr;
  libssh2_session_last_error(ssh2_, &msg, nullptr, 0);
  return msg ? msg : "";
}

}  // namespace quarn

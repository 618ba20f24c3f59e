#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "net/TLSContext.h"

namespace quarn {

enum {
  TLS_ERR_OK = 0,
  TLS_ERR_ERROR = -1,
  TLS_ERR_WOULDBLOCK = -2,
};

enum {
  TLS_WANT_READ = 1,
  TLS_WANT_WRITE = 2,
};

// The TLS state of one connection over a non-blocking descriptor. Operations
// return a count or 0 on success, TLS_ERR_ERROR on failure and
// TLS_ERR_WOULDBLOCK when the descriptor must become ready first, in the
// direction checkDirection() names.
class TLSSession {
 public:
  virtual ~TLSSession() = default;

  virtual int init(int sockfd) = 0;
  virtual int setSNIHostname(const std::string& hostname) = 0;
  virtual int closeConnection() = 0;
  virtual int checkDirection() = 0;
  virtual ssize_t writeData(const void* data, size_t len) = 0;
  // 0 is the peer's orderly close.
  virtual ssize_t readData(void* data, size_t len) = 0;
  // Also verifies the peer when the context asks for it; a verification
  // failure is described in handshakeError.
  virtual int tlsConnect(const std::string& hostname, TLSVersion& version,
                         std::string& handshakeError) = 0;
  virtual int tlsAccept(TLSVersion& version) = 0;
  virtual std::string getLastErrorString() = 0;
  virtual size_t getRecvBufferedLength() = 0;

  static std::unique_ptr<TLSSession> make(TLSContext* ctx);
};

}  // namespace quarn

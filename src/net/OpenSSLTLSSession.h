#pragma once

#include <openssl/ssl.h>

#include "net/OpenSSLTLSContext.h"
#include "net/TLSSession.h"

namespace quarn {

class OpenSSLTLSSession : public TLSSession {
 public:
  explicit OpenSSLTLSSession(OpenSSLTLSContext* tlsContext);
  ~OpenSSLTLSSession() override;
  OpenSSLTLSSession(const OpenSSLTLSSession&) = delete;
  OpenSSLTLSSession& operator=(const OpenSSLTLSSession&) = delete;

  int init(int sockfd) override;
  int setSNIHostname(const std::string& hostname) override;
  int closeConnection() override;
  int checkDirection() override;
  ssize_t writeData(const void* data, size_t len) override;
  ssize_t readData(void* data, size_t len) override;
  int tlsConnect(const std::string& hostname, TLSVersion& version,
                 std::string& handshakeError) override;
  int tlsAccept(TLSVersion& version) override;
  std::string getLastErrorString() override;
  size_t getRecvBufferedLength() override { return 0; }

 private:
  // Keeps the result of SSL_read or SSL_write as the last result and maps it:
  // a count, TLS_ERR_WOULDBLOCK or TLS_ERR_ERROR; 0 for the peer's close_notify
  // when that ends the stream (reads).
  ssize_t ioResult(int rv, bool closeNotifyEndsStream);
  int handshake(TLSVersion& version);
  std::string verifyPeer(const std::string& hostname);

  SSL* ssl_;
  OpenSSLTLSContext* tlsContext_;
  int rv_;
};

}  // namespace quarn

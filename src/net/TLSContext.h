#pragma once

#include <memory>
#include <string>

namespace quarn {

enum TLSSessionSide { TLS_CLIENT = 0, TLS_SERVER = 1 };

enum TLSVersion {
  TLS_PROTO_NONE = 0,
  TLS_PROTO_TLS11 = 1,
  TLS_PROTO_TLS12 = 2,
  TLS_PROTO_TLS13 = 3
};

// The TLS configuration of one side: protocol floor, own credentials, trusted
// authorities and whether the peer is verified. Set up once at start-up and
// shared read-only by every session.
class TLSContext {
 public:
  virtual ~TLSContext() = default;

  // An empty keyfile means certfile is a PKCS#12 file.
  virtual bool addCredentialFile(const std::string& certfile, const std::string& keyfile) = 0;
  virtual bool addSystemTrustedCACerts() = 0;
  virtual bool addTrustedCACertFile(const std::string& certfile) = 0;
  virtual bool good() const = 0;
  virtual TLSSessionSide getSide() const = 0;
  virtual bool getVerifyPeer() const = 0;
  virtual void setVerifyPeer(bool verify) = 0;

  static std::unique_ptr<TLSContext> make(TLSSessionSide side, TLSVersion minVer);
};

}  // namespace quarn

#pragma once

#include <openssl/ssl.h>

#include "net/TLSContext.h"

namespace quarn {

class OpenSSLTLSContext : public TLSContext {
 public:
  OpenSSLTLSContext(TLSSessionSide side, TLSVersion minVer);
  ~OpenSSLTLSContext() override;
  OpenSSLTLSContext(const OpenSSLTLSContext&) = delete;
  OpenSSLTLSContext& operator=(const OpenSSLTLSContext&) = delete;

  bool addCredentialFile(const std::string& certfile, const std::string& keyfile) override;
  bool addSystemTrustedCACerts() override;
  bool addTrustedCACertFile(const std::string& certfile) override;
  bool good() const override { return good_; }
  TLSSessionSide getSide() const override { return side_; }
  bool getVerifyPeer() const override { return verifyPeer_; }
  void setVerifyPeer(bool verify) override { verifyPeer_ = verify; }

  SSL_CTX* getSSLCtx() const { return sslCtx_; }

 private:
  bool addP12CredentialFile(const std::string& p12file);
  void logP12Failure(const char* step) const;

  SSL_CTX* sslCtx_;
  TLSSessionSide side_;
  bool good_;
  bool verifyPeer_;
};

}  // namespace quarn

#include "net/OpenSSLTLSSession.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

#include "net/net_address.h"

namespace quarn {

namespace {

struct GeneralNamesDeleter {
  void operator()(GENERAL_NAMES* names) const { GENERAL_NAMES_free(names); }
};

struct X509Deleter {
  void operator()(X509* cert) const { X509_free(cert); }
};

// Drops one trailing '.'; an empty result (or a name that was only ".") is
// no usable name.
bool normalizeName(std::string& name) {
  if (!name.empty() && name.back() == '.') {
    name.pop_back();
  }
  return !name.empty();
}

TLSVersion toTLSVersion(int protocolVersion) {
  switch (protocolVersion) {
    case TLS1_1_VERSION:
      return TLS_PROTO_TLS11;
    case TLS1_2_VERSION:
      return TLS_PROTO_TLS12;
    case TLS1_3_VERSION:
      return TLS_PROTO_TLS13;
    default:
      return TLS_PROTO_NONE;
  }
}

void collectAltNames(X509* cert, std::vector<std::string>& dnsNames,
                     std::vector<std::string>& ipAddrs) {
  std::unique_ptr<GENERAL_NAMES, GeneralNamesDeleter> altNames(
      static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)));
  if (!altNames) {
    return;
  }
  int count = sk_GENERAL_NAME_num(altNames.get());
  for (int i = 0; i < count; ++i) {
    const GENERAL_NAME* altName = sk_GENERAL_NAME_value(altNames.get(), i);
    if (altName->type == GEN_DNS) {
      std::string name(reinterpret_cast<const char*>(ASN1_STRING_get0_data(altName->d.ia5)),
                       ASN1_STRING_length(altName->d.ia5));
      if (normalizeName(name)) {
        dnsNames.push_back(std::move(name));
      }
    } else if (altName->type == GEN_IPADD) {
      ipAddrs.emplace_back(
          reinterpret_cast<const char*>(ASN1_STRING_get0_data(altName->d.iPAddress)),
          ASN1_STRING_length(altName->d.iPAddress));
    }
  }
}

std::string firstCommonName(X509_NAME* subject) {
  for (int pos = X509_NAME_get_index_by_NID(subject, NID_commonName, -1); pos != -1;
       pos = X509_NAME_get_index_by_NID(subject, NID_commonName, pos)) {
    ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, pos));
    unsigned char* utf8 = nullptr;
    int len = ASN1_STRING_to_UTF8(&utf8, value);
    if (len < 0) {
      continue;
    }
    std::string name(reinterpret_cast<char*>(utf8), len);
    OPENSSL_free(utf8);
    if (normalizeName(name)) {
      return name;
    }
  }
  return "";
}

}  // namespace

std::unique_ptr<TLSSession> TLSSession::make(TLSContext* ctx) {
  return std::make_unique<OpenSSLTLSSession>(static_cast<OpenSSLTLSContext*>(ctx));
}

OpenSSLTLSSession::OpenSSLTLSSession(OpenSSLTLSContext* tlsContext)
    : ssl_(nullptr), tlsContext_(tlsContext), rv_(1) {}

OpenSSLTLSSession::~OpenSSLTLSSession() {
  SSL_free(ssl_);
}

int OpenSSLTLSSession::init(int sockfd) {
  ERR_clear_error();
  ssl_ = SSL_new(tlsContext_->getSSLCtx());
  if (!ssl_) {
    return TLS_ERR_ERROR;
  }
  rv_ = SSL_set_fd(ssl_, sockfd);
  return rv_ == 0 ? TLS_ERR_ERROR : TLS_ERR_OK;
}

int OpenSSLTLSSession::setSNIHostname(const std::string& hostname) {
  ERR_clear_error();
  SSL_set_tlsext_host_name(ssl_, hostname.c_str());
  return TLS_ERR_OK;
}

int OpenSSLTLSSession::closeConnection() {
  ERR_clear_error();
  SSL_shutdown(ssl_);
  return TLS_ERR_OK;
}

int OpenSSLTLSSession::checkDirection() {
  return SSL_get_error(ssl_, rv_) == SSL_ERROR_WANT_WRITE ? TLS_WANT_WRITE : TLS_WANT_READ;
}

ssize_t OpenSSLTLSSession::ioResult(int rv, bool closeNotifyEndsStream) {
  rv_ = rv;
  if (rv_ > 0) {
    rv_ = 1;
    return rv;
  }
  int error = SSL_get_error(ssl_, rv_);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    return TLS_ERR_WOULDBLOCK;
  }
  if (closeNotifyEndsStream && rv_ == 0 && error == SSL_ERROR_ZERO_RETURN) {
    return 0;
  }
  return TLS_ERR_ERROR;
}

ssize_t OpenSSLTLSSession::writeData(const void* data, size_t len) {
  ERR_clear_error();
  return ioResult(SSL_write(ssl_, data, static_cast<int>(len)), false);
}

ssize_t OpenSSLTLSSession::readData(void* data, size_t len) {
  ERR_clear_error();
  return ioResult(SSL_read(ssl_, data, static_cast<int>(len)), true);
}

// Done only when OpenSSL reports the handshake complete. Any wish to wait
// (readiness of the descriptor or an outside step) would block; everything
// else, a peer that closes before the handshake ends included, is an error.
int OpenSSLTLSSession::handshake(TLSVersion& version) {
  ERR_clear_error();
  rv_ = tlsContext_->getSide() == TLS_SERVER ? SSL_accept(ssl_) : SSL_connect(ssl_);
  if (rv_ <= 0) {
    switch (SSL_get_error(ssl_, rv_)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
      case SSL_ERROR_WANT_X509_LOOKUP:
      case SSL_ERROR_WANT_CONNECT:
      case SSL_ERROR_WANT_ACCEPT:
      case SSL_ERROR_WANT_ASYNC:
      case SSL_ERROR_WANT_ASYNC_JOB:
      case SSL_ERROR_WANT_CLIENT_HELLO_CB:
        return TLS_ERR_WOULDBLOCK;
      default:
        return TLS_ERR_ERROR;
    }
  }
  version = toTLSVersion(SSL_version(ssl_));
  return TLS_ERR_OK;
}

int OpenSSLTLSSession::tlsConnect(const std::string& hostname, TLSVersion& version,
                                  std::string& handshakeError) {
  handshakeError.clear();
  int ret = handshake(version);
  if (ret != TLS_ERR_OK) {
    return ret;
  }
  if (tlsContext_->getSide() == TLS_SERVER || !tlsContext_->getVerifyPeer()) {
    return TLS_ERR_OK;
  }
  handshakeError = verifyPeer(hostname);
  return handshakeError.empty() ? TLS_ERR_OK : TLS_ERR_ERROR;
}

// The description of what is wrong with the peer's certificate, or empty.
std::string OpenSSLTLSSession::verifyPeer(const std::string& hostname) {
  std::unique_ptr<X509, X509Deleter> peerCert(SSL_get1_peer_certificate(ssl_));
  if (!peerCert) {
    return "certificate not found";
  }
  long verifyResult = SSL_get_verify_result(ssl_);
  if (verifyResult != X509_V_OK) {
    return X509_verify_cert_error_string(verifyResult);
  }
  std::vector<std::string> dnsNames;
  std::vector<std::string> ipAddrs;
  collectAltNames(peerCert.get(), dnsNames, ipAddrs);
  X509_NAME* subject = X509_get_subject_name(peerCert.get());
  if (!subject) {
    return "could not get X509 name object from the certificate.";
  }
  if (!net::verifyHostname(hostname, dnsNames, ipAddrs, firstCommonName(subject))) {
    return "hostname does not match";
  }
  return "";
}

int OpenSSLTLSSession::tlsAccept(TLSVersion& version) {
  return handshake(version);
}

std::string OpenSSLTLSSession::getLastErrorString() {
  if (rv_ > 0) {
    return "";
  }
  int error = SSL_get_error(ssl_, rv_);
  if (error > SSL_ERROR_ZERO_RETURN) {
    return "unknown error";
  }
  switch (error) {
    case SSL_ERROR_SSL:
      return "protocol error";
    case SSL_ERROR_SYSCALL: {
      unsigned long queued = ERR_get_error();
      if (queued != 0) {
        return ERR_error_string(queued, nullptr);
      }
      if (rv_ == -1) {
        return "SSL I/O error";
      }
      if (rv_ == 0) {
        return "EOF was received";
      }
      return "unknown syscall error";
    }
    default:
      return "";
  }
}

}  // namespace quarn

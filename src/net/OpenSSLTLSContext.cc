#include "net/OpenSSLTLSContext.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

namespace {

std::string errorText() {
  return ERR_error_string(ERR_get_error(), nullptr);
}

template <typename T, void (*Free)(T*)>
struct OpenSSLDeleter {
  void operator()(T* p) const { Free(p); }
};

using BioPtr = std::unique_ptr<BIO, OpenSSLDeleter<BIO, BIO_free_all>>;
using P12Ptr = std::unique_ptr<PKCS12, OpenSSLDeleter<PKCS12, PKCS12_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSSLDeleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSSLDeleter<X509, X509_free>>;

struct X509StackDeleter {
  void operator()(STACK_OF(X509) * chain) const { sk_X509_pop_free(chain, X509_free); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// A string rather than a vector: even empty, its data() is a valid buffer, and
// a memory BIO refuses a null one.
std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long protocolFloorOptions(TLSVersion minVer) {
  switch (minVer) {
    case TLS_PROTO_TLS11:
      return SSL_OP_NO_TLSv1;
    case TLS_PROTO_TLS12:
      return SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1;
    case TLS_PROTO_TLS13:
      return SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1 | SSL_OP_NO_TLSv1_2;
    default:
      abort();
  }
}

}  // namespace

std::unique_ptr<TLSContext> TLSContext::make(TLSSessionSide side, TLSVersion minVer) {
  return std::make_unique<OpenSSLTLSContext>(side, minVer);
}

OpenSSLTLSContext::OpenSSLTLSContext(TLSSessionSide side, TLSVersion minVer)
    : sslCtx_(nullptr), side_(side), good_(true), verifyPeer_(true) {
  ERR_clear_error();
  sslCtx_ = SSL_CTX_new(TLS_method());
  if (!sslCtx_) {
    good_ = false;
    QLOG_ERROR(fmt("SSL_CTX_new() failed. Cause: %s", errorText().c_str()));
    return;
  }
  SSL_CTX_set_options(
      sslCtx_, SSL_OP_ALL | SSL_OP_NO_SSLv3 | SSL_OP_NO_COMPRESSION | protocolFloorOptions(minVer));
  SSL_CTX_set_mode(sslCtx_,
                   SSL_MODE_AUTO_RETRY | SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_RELEASE_BUFFERS);
  if (SSL_CTX_set_cipher_list(sslCtx_, "HIGH:!aNULL:!eNULL") == 0) {
    good_ = false;
    QLOG_ERROR(fmt("SSL_CTX_set_cipher_list() failed. Cause: %s", errorText().c_str()));
  }
}

OpenSSLTLSContext::~OpenSSLTLSContext() {
  SSL_CTX_free(sslCtx_);
}

bool OpenSSLTLSContext::addCredentialFile(const std::string& certfile, const std::string& keyfile) {
  ERR_clear_error();
  if (keyfile.empty()) {
    return addP12CredentialFile(certfile);
  }
  if (SSL_CTX_use_PrivateKey_file(sslCtx_, keyfile.c_str(), SSL_FILETYPE_PEM) != 1) {
    QLOG_ERROR(
        fmt("Failed to load private key from %s. Cause: %s", keyfile.c_str(), errorText().c_str()));
    return false;
  }
  if (SSL_CTX_use_certificate_chain_file(sslCtx_, certfile.c_str()) != 1) {
    QLOG_ERROR(fmt("Failed to load certificate from %s. Cause: %s", certfile.c_str(),
                   errorText().c_str()));
    return false;
  }
  QLOG_INFO(fmt("Credential files(cert=%s, key=%s) were successfully added.", certfile.c_str(),
                keyfile.c_str()));
  return true;
}

// A PKCS#12 file that does not open or parse may be a PEM certificate given
// without its key option; the hint names the option of this side.
void OpenSSLTLSContext::logP12Failure(const char* step) const {
  QLOG_ERROR(
      fmt("Failed to %s PKCS12 file: %s. If you meant to use PEM, you'll also have to "
          "specify --%s. See the manual.",
          step, errorText().c_str(), side_ == TLS_SERVER ? "rpc-private-key" : "private-key"));
}

bool OpenSSLTLSContext::addP12CredentialFile(const std::string& p12file) {
  std::string data = readWholeFile(p12file);
  BioPtr bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  if (!bio) {
    QLOG_ERROR("Failed to open PKCS12 file: no memory.");
    return false;
  }
  P12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
  if (!p12) {
    logP12Failure("open");
    return false;
  }
  EVP_PKEY* rawKey = nullptr;
  X509* rawCert = nullptr;
  STACK_OF(X509)* rawChain = nullptr;
  int parsed = PKCS12_parse(p12.get(), "", &rawKey, &rawCert, &rawChain);
  PkeyPtr pkey(rawKey);
  X509Ptr cert(rawCert);
  X509StackPtr chain(rawChain);
  if (!parsed) {
    logP12Failure("parse");
    return false;
  }
  if (!pkey || !cert) {
    QLOG_ERROR(fmt("Failed to use PKCS12 file: no pkey or cert %s", errorText().c_str()));
    return false;
  }
  if (!SSL_CTX_use_PrivateKey(sslCtx_, pkey.get())) {
    QLOG_ERROR(fmt("Failed to use PKCS12 file pkey: %s", errorText().c_str()));
    return false;
  }
  if (!SSL_CTX_use_certificate(sslCtx_, cert.get())) {
    QLOG_ERROR(fmt("Failed to use PKCS12 file cert: %s", errorText().c_str()));
    return false;
  }
  if (chain && sk_X509_num(chain.get()) > 0 && !SSL_CTX_set1_chain(sslCtx_, chain.get())) {
    QLOG_ERROR(fmt("Failed to use PKCS12 file chain: %s", errorText().c_str()));
    return false;
  }
  QLOG_INFO("Using certificate and key from PKCS12 file");
  return true;
}

bool OpenSSLTLSContext::addSystemTrustedCACerts() {
  ERR_clear_error();
  if (SSL_CTX_set_default_verify_paths(sslCtx_) != 1) {
    QLOG_INFO(fmt(_("Failed to load trusted CA certificates from system. Cause: %s"),
                  errorText().c_str()));
    return false;
  }
  QLOG_INFO("System trusted CA certificates were successfully added.");
  return true;
}

bool OpenSSLTLSContext::addTrustedCACertFile(const std::string& certfile) {
  ERR_clear_error();
  if (SSL_CTX_load_verify_locations(sslCtx_, certfile.c_str(), nullptr) != 1) {
    QLOG_ERROR(fmt(_("Failed to load trusted CA certificates from %s. Cause: %s"), certfile.c_str(),
                   errorText().c_str()));
    return false;
  }
  QLOG_INFO("Trusted CA certificates were successfully added.");
  return true;
}

}  // namespace quarn

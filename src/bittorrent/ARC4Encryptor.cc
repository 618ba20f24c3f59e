#include "bittorrent/ARC4Encryptor.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>

#include <climits>

#include "foundation/DlAbortEx.h"

namespace quarn {

ARC4Encryptor::~ARC4Encryptor() {
  release();
}

void ARC4Encryptor::release() {
  EVP_CIPHER_CTX_free(ctx_);
  ctx_ = nullptr;
  if (legacy_) {
    OSSL_PROVIDER_unload(legacy_);
  }
  if (base_) {
    OSSL_PROVIDER_unload(base_);
  }
  legacy_ = base_ = nullptr;
}

void ARC4Encryptor::init(const unsigned char* key, size_t keyLength) {
  release();
  // Loading the legacy provider explicitly would hide the default one.
  base_ = OSSL_PROVIDER_load(nullptr, "default");
  legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
  ctx_ = EVP_CIPHER_CTX_new();
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
  unsigned int keylen = static_cast<unsigned int>(keyLength);
  OSSL_PARAM params[] = {OSSL_PARAM_construct_uint(OSSL_CIPHER_PARAM_KEYLEN, &keylen),
                         OSSL_PARAM_construct_end()};
  const bool ok =
      ctx_ && cipher && EVP_EncryptInit_ex2(ctx_, cipher, nullptr, nullptr, params) == 1;
  EVP_CIPHER_free(cipher);
  if (!ok) {
    throw DL_ABORT_EX("Failed to initialize RC4 cipher");
  }
  if (EVP_EncryptInit_ex2(ctx_, nullptr, key, nullptr, nullptr) != 1) {
    throw DL_ABORT_EX("Failed to set key to RC4 cipher");
  }
}

void ARC4Encryptor::encrypt(size_t length, unsigned char* out, const unsigned char* in) {
  while (length > 0) {
    const int n = static_cast<int>(std::min<size_t>(length, INT_MAX));
    int outlen = 0;
    if (EVP_EncryptUpdate(ctx_, out, &outlen, in, n) != 1 || outlen != n) {
      throw DL_ABORT_EX("Failed to encrypt data with RC4 cipher");
    }
    out += n;
    in += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace quarn

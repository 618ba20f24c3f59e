#include "bittorrent/ARC4Encryptor.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include <climits>

#include "foundation/DlAbortEx.h"

namespace quarn {

ARC4Encryptor::ARC4Encryptor() : ctx_(nullptr) {}

ARC4Encryptor::~ARC4Encryptor() {
  EVP_CIPHER_CTX_free(ctx_);
}

void ARC4Encryptor::init(const unsigned char* key, size_t keyLength) {
  EVP_CIPHER_CTX_free(ctx_);
  ctx_ = EVP_CIPHER_CTX_new();
  size_t keylen = keyLength;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keylen),
                         OSSL_PARAM_construct_end()};
  if (!ctx_ || EVP_CipherInit_ex2(ctx_, EVP_rc4(), nullptr, nullptr, 1, params) != 1) {
    throw DL_ABORT_EX("Failed to initialize RC4 cipher");
  }
  if (EVP_CipherInit_ex2(ctx_, nullptr, key, nullptr, 1, nullptr) != 1) {
    throw DL_ABORT_EX("Failed to set key to RC4 cipher");
  }
}

void ARC4Encryptor::encrypt(size_t length, unsigned char* out, const unsigned char* in) {
  // EVP takes int lengths: feed long inputs in pieces.
  while (length > 0) {
    const int chunk = static_cast<int>(length > INT_MAX ? INT_MAX : length);
    int outLength = 0;
    if (EVP_CipherUpdate(ctx_, out, &outLength, in, chunk) != 1 || outLength != chunk) {
      throw DL_ABORT_EX("Failed to encrypt data with RC4 cipher");
    }
    out += chunk;
    in += chunk;
    length -= static_cast<size_t>(chunk);
  }
}

}  // namespace quarn

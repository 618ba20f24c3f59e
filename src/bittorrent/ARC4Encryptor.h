#pragma once

#include <cstddef>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;
typedef struct ossl_provider_st OSSL_PROVIDER;

namespace quarn {

// The RC4 key stream of one direction of an encrypted peer connection.
// Encrypting and decrypting are the same operation.
class ARC4Encryptor {
 public:
  ARC4Encryptor() = default;
  ~ARC4Encryptor();
  ARC4Encryptor(const ARC4Encryptor&) = delete;
  ARC4Encryptor& operator=(const ARC4Encryptor&) = delete;

  void init(const unsigned char* key, size_t keyLength);
  // XORs length bytes with the key stream; in and out may be the same.
  void encrypt(size_t length, unsigned char* out, const unsigned char* in);

 private:
  void release();

  EVP_CIPHER_CTX* ctx_ = nullptr;
  // RC4 lives in OpenSSL's legacy provider, held for the cipher's lifetime.
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* base_ = nullptr;
};

}  // namespace quarn

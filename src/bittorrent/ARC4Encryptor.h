#pragma once

#include <openssl/evp.h>

#include <cstddef>

namespace quarn {

// The RC4 stream cipher of encrypted peer connections, through OpenSSL's EVP
// interface (RC4 lives in the "legacy" provider, loaded at start-up).
// Encryption and decryption are the same keystream XOR.
class ARC4Encryptor {
 public:
  ARC4Encryptor();
  ~ARC4Encryptor();
  ARC4Encryptor(const ARC4Encryptor&) = delete;
  ARC4Encryptor& operator=(const ARC4Encryptor&) = delete;

  void init(const unsigned char* key, size_t keyLength);
  // XORs length bytes of in with the keystream into out; in may be out.
  void encrypt(size_t length, unsigned char* out, const unsigned char* in);

 private:
  EVP_CIPHER_CTX* ctx_;
};

}  // namespace quarn

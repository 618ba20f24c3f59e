#pragma once

#include <openssl/bn.h>

#include <cstddef>
#include <string>

namespace quarn {

// The Diffie-Hellman arithmetic of the encrypted peer handshake over
// OpenSSL's big numbers.
class DHKeyExchange {
 public:
  DHKeyExchange();
  ~DHKeyExchange();
  DHKeyExchange(const DHKeyExchange&) = delete;
  DHKeyExchange& operator=(const DHKeyExchange&) = delete;

  // Parses prime and generator (hexadecimal) and draws the private key of
  // privateKeyBits random bits.
  void init(const char* prime, size_t primeBits, const char* generator, size_t privateKeyBits);
  void generatePublicKey();
  // Writes the public key big-endian, right-aligned in the first key-length
  // bytes of a zeroed buffer; returns the significant bytes written.
  size_t getPublicKey(unsigned char* out, size_t outLength) const;
  // The shared secret from the peer's public key, written like the public key.
  size_t computeSecret(unsigned char* out, size_t outLength, const unsigned char* peerPublicKey,
                       size_t peerPublicKeyLength) const;
  void generateNonce(unsigned char* out, size_t outLength) const;

  size_t getKeyLength() const { return keyLength_; }

 private:
  size_t writeRightAligned(const BIGNUM* value, unsigned char* out, size_t outLength) const;

  BN_CTX* bnCtx_ = nullptr;
  BIGNUM* prime_ = nullptr;
  BIGNUM* generator_ = nullptr;
  BIGNUM* privateKey_ = nullptr;
  BIGNUM* publicKey_ = nullptr;
  size_t keyLength_ = 0;
};

}  // namespace quarn

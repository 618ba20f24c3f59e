#include "bittorrent/DHKeyExchange.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

namespace {

[[noreturn]] void throwLibraryError(const char* step) {
  char text[256];
  ERR_error_string_n(ERR_get_error(), text, sizeof(text));
  throw DL_ABORT_EX(fmt("Exception in libssl routine %s(DHKeyExchange class): %s", step, text));
}

}  // namespace

DHKeyExchange::DHKeyExchange() = default;

DHKeyExchange::~DHKeyExchange() {
  BN_free(prime_);
  BN_free(generator_);
  BN_clear_free(privateKey_);
  BN_free(publicKey_);
  BN_CTX_free(bnCtx_);
}

void DHKeyExchange::init(const char* prime, size_t primeBits, const char* generator,
                         size_t privateKeyBits) {
  BN_CTX_free(bnCtx_);
  bnCtx_ = BN_CTX_new();
  if (!bnCtx_) {
    throwLibraryError("BN_CTX_new in init");
  }
  if (BN_hex2bn(&prime_, prime) == 0) {
    throwLibraryError("BN_hex2bn in init");
  }
  if (BN_hex2bn(&generator_, generator) == 0) {
    throwLibraryError("BN_hex2bn in init");
  }
  BN_clear_free(privateKey_);
  privateKey_ = BN_new();
  if (!privateKey_ || BN_rand(privateKey_, static_cast<int>(privateKeyBits), BN_RAND_TOP_ANY,
                              BN_RAND_BOTTOM_ANY) != 1) {
    throwLibraryError("BN_new in init");
  }
  keyLength_ = (primeBits + 7) / 8;
}

void DHKeyExchange::generatePublicKey() {
  BN_free(publicKey_);
  publicKey_ = BN_new();
  if (!publicKey_ || BN_mod_exp(publicKey_, generator_, privateKey_, prime_, bnCtx_) != 1) {
    throwLibraryError("BN_mod_exp in generatePublicKey");
  }
}

size_t DHKeyExchange::writeRightAligned(const BIGNUM* value, unsigned char* out,
                                        size_t outLength) const {
  std::memset(out, 0, outLength);
  const size_t n = static_cast<size_t>(BN_num_bytes(value));
  // A value never exceeds the prime, so it always fits the key length.
  BN_bn2bin(value, out + keyLength_ - n);
  return n;
}

size_t DHKeyExchange::getPublicKey(unsigned char* out, size_t outLength) const {
  if (outLength < keyLength_) {
    throw DL_ABORT_EX(fmt("Insufficient buffer for public key. expect:%lu, actual:%lu",
                          static_cast<unsigned long>(keyLength_),
                          static_cast<unsigned long>(outLength)));
  }
  return writeRightAligned(publicKey_, out, outLength);
}

size_t DHKeyExchange::computeSecret(unsigned char* out, size_t outLength,
                                    const unsigned char* peerPublicKey,
                                    size_t peerPublicKeyLength) const {
  if (outLength < keyLength_) {
    throw DL_ABORT_EX(fmt("Insufficient buffer for secret. expect:%lu, actual:%lu",
                          static_cast<unsigned long>(keyLength_),
                          static_cast<unsigned long>(outLength)));
  }
  BIGNUM* peer = BN_bin2bn(peerPublicKey, static_cast<int>(peerPublicKeyLength), nullptr);
  if (!peer) {
    throwLibraryError("BN_bin2bn in computeSecret");
  }
  BIGNUM* secret = BN_new();
  if (!secret || BN_mod_exp(secret, peer, privateKey_, prime_, bnCtx_) != 1) {
    BN_free(peer);
    BN_clear_free(secret);
    throwLibraryError("BN_mod_exp in computeSecret");
  }
  size_t n = writeRightAligned(secret, out, outLength);
  BN_free(peer);
  BN_clear_free(secret);
  return n;
}

void DHKeyExchange::generateNonce(unsigned char* out, size_t outLength) const {
  if (RAND_bytes(out, static_cast<int>(outLength)) != 1) {
    throwLibraryError("RAND_bytes in generateNonce");
  }
}

}  // namespace quarn

#pragma once

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "foundation/MessageDigestImpl.h"

namespace quarn {

// A hash computed through OpenSSL's EVP interface; MdGetter names the algorithm.
template <const EVP_MD* (*MdGetter)()>
class MessageDigestBase : public MessageDigestImpl {
 public:
  MessageDigestBase() : ctx_(EVP_MD_CTX_new()), md_(MdGetter()) { reset(); }
  ~MessageDigestBase() override { EVP_MD_CTX_free(ctx_); }
  MessageDigestBase(const MessageDigestBase&) = delete;
  MessageDigestBase& operator=(const MessageDigestBase&) = delete;

  static size_t length() { return static_cast<size_t>(EVP_MD_get_size(MdGetter())); }

  size_t getDigestLength() const override { return length(); }

  void reset() override { EVP_DigestInit_ex(ctx_, md_, nullptr); }

  void update(const void* data, size_t length) override {
    auto bytes = static_cast<const unsigned char*>(data);
    constexpr size_t maxStep = std::numeric_limits<uint32_t>::max();
    while (length > 0) {
      size_t step = std::min(length, maxStep);
      EVP_DigestUpdate(ctx_, bytes, step);
      bytes += step;
      length -= step;
    }
  }

  void digest(unsigned char* out) override {
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx_, out, &len);
  }

 private:
  EVP_MD_CTX* ctx_;
  const EVP_MD* md_;
};

using MessageDigestSHA1 = MessageDigestBase<EVP_sha1>;
using MessageDigestSHA224 = MessageDigestBase<EVP_sha224>;
using MessageDigestSHA256 = MessageDigestBase<EVP_sha256>;
using MessageDigestSHA384 = MessageDigestBase<EVP_sha384>;
using MessageDigestSHA512 = MessageDigestBase<EVP_sha512>;
using MessageDigestMD5 = MessageDigestBase<EVP_md5>;

}  // namespace quarn

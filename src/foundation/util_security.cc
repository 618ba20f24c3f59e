#include "foundation/util_security.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/FatalException.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/util_random.h"

namespace quarn {
namespace util {
namespace security {

namespace {

// The digest's block size for the algorithms an HMAC may use, 0 for every other.
size_t blockSizeOf(const std::string& canonicalName) {
  if (canonicalName == "sha-1" || canonicalName == "sha-224" || canonicalName == "sha-256") {
    return 64;
  }
  if (canonicalName == "sha-384" || canonicalName == "sha-512") {
    return 128;
  }
  return 0;
}

}  // namespace

bool compare(uint8_t a, uint8_t b) {
  uint8_t v = ~(a ^ b);
  v &= v >> 4;
  v &= v >> 2;
  v &= v >> 1;
  return v & 1;
}

bool compare(const uint8_t* a, const uint8_t* b, size_t length) {
  uint8_t difference = 0;
  for (size_t i = 0; i < length; ++i) {
    difference |= a[i] ^ b[i];
  }
  return compare(difference, 0);
}

bool HMACResult::operator==(const HMACResult& other) const {
  if (len_ != other.len_) {
    throw std::domain_error("comparing different hmac is undefined");
  }
  return compare(result_.data(), other.result_.data(), len_);
}

HMAC::HMAC(const std::string& algorithm, const char* secret, size_t length)
    : blockSize_(0), clean_(false) {
  if (!supports(algorithm)) {
    throw FATAL_EXCEPTION(fmt("HMAC does not support algorithm %s", algorithm.c_str()));
  }
  blockSize_ = blockSizeOf(MessageDigest::getCanonicalHashType(algorithm));
  md_ = MessageDigest::create(algorithm);
  ipad_.assign(blockSize_, '\x36');
  opad_.assign(blockSize_, '\x5c');
  std::string key(secret, length);
  if (key.size() > blockSize_) {
    md_->update(key.data(), key.size());
    key = md_->digest();
  }
  for (size_t i = 0; i < key.size(); ++i) {
    ipad_[i] ^= key[i];
    opad_[i] ^= key[i];
  }
  reset();
}

HMAC::~HMAC() = default;

bool HMAC::supports(const std::string& algorithm) {
  return MessageDigest::supports(algorithm) &&
         blockSizeOf(MessageDigest::getCanonicalHashType(algorithm)) != 0;
}

std::unique_ptr<HMAC> HMAC::create(const std::string& algorithm, const char* secret,
                                   size_t length) {
  if (!supports(algorithm)) {
    return nullptr;
  }
  return std::make_unique<HMAC>(algorithm, secret, length);
}

std::unique_ptr<HMAC> HMAC::createRandom(const std::string& algorithm) {
  if (!supports(algorithm)) {
    return nullptr;
  }
  std::string key(MessageDigest::getDigestLength(algorithm), '\0');
  util::generateRandomData(reinterpret_cast<unsigned char*>(key.data()), key.size());
  return create(algorithm, key.data(), key.size());
}

size_t HMAC::length() const {
  return md_->getDigestLength();
}

void HMAC::reset() {
  if (clean_) {
    return;
  }
  md_->reset();
  md_->update(ipad_.data(), ipad_.size());
  clean_ = true;
}

void HMAC::update(const char* data, size_t length) {
  md_->update(data, length);
  clean_ = false;
}

HMACResult HMAC::getResult() {
  std::string inner = md_->digest();
  md_->reset();
  md_->update(opad_.data(), opad_.size());
  md_->update(inner.data(), inner.size());
  HMACResult result(md_->digest());
  clean_ = false;
  reset();
  return result;
}

std::string PBKDF2(HMAC* hmac, const char* salt, size_t saltLength, size_t iterations,
                   size_t keyLength) {
  if (!hmac) {
    throw FATAL_EXCEPTION("hmac cannot be null");
  }
  hmac->reset();
  const size_t hmacLength = hmac->length();
  size_t remaining = keyLength == 0 ? hmacLength : keyLength;
  std::string key;
  key.reserve(remaining);
  for (uint32_t block = 1; remaining > 0; ++block) {
    const char blockNumber[] = {static_cast<char>(block >> 24), static_cast<char>(block >> 16),
                                static_cast<char>(block >> 8), static_cast<char>(block)};
    hmac->update(salt, saltLength);
    hmac->update(blockNumber, sizeof(blockNumber));
    std::string u = hmac->getResult().getBytes();
    std::string t = u;
    for (size_t i = 1; i < iterations; ++i) {
      hmac->update(u);
      u = hmac->getResult().getBytes();
      for (size_t j = 0; j < hmacLength; ++j) {
        t[j] ^= u[j];
      }
    }
    size_t take = std::min(hmacLength, remaining);
    key.append(t, 0, take);
    remaining -= take;
  }
  return key;
}

}  // namespace security
}  // namespace util
}  // namespace quarn

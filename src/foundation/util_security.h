#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class MessageDigest;

namespace util {
namespace security {

// Equality of secrets in a time that does not depend on where they differ.
bool compare(uint8_t a, uint8_t b);
bool compare(const uint8_t* a, const uint8_t* b, size_t length);
inline bool compare(const char* a, const char* b, size_t length) {
  return compare(reinterpret_cast<const uint8_t*>(a), reinterpret_cast<const uint8_t*>(b), length);
}

// The digest of one HMAC message.
class HMACResult {
 public:
  explicit HMACResult(std::string result) : result_(std::move(result)), len_(result_.size()) {}

  const std::string& getBytes() const { return result_; }
  size_t length() const { return len_; }

  // Constant-time; results of different lengths raise std::domain_error.
  bool operator==(const HMACResult& other) const;
  bool operator!=(const HMACResult& other) const { return !(*this == other); }

 private:
  std::string result_;
  size_t len_;
};

// HMAC (RFC 2104) over "sha-1", "sha-224", "sha-256", "sha-384" or "sha-512".
class HMAC {
 public:
  // Raises FatalException for an algorithm that supports() refuses.
  HMAC(const std::string& algorithm, const char* secret, size_t length);
  ~HMAC();
  HMAC(const HMAC&) = delete;
  HMAC& operator=(const HMAC&) = delete;

  static bool supports(const std::string& algorithm);
  // Null when the algorithm is not supported.
  static std::unique_ptr<HMAC> create(const std::string& algorithm, const char* secret,
                                      size_t length);
  // Keyed with as many random bytes as the digest is long; null for an unsupported name.
  static std::unique_ptr<HMAC> createRandom(const std::string& algorithm);
  static std::unique_ptr<HMAC> createRandom() { return createRandom("sha-1"); }

  size_t length() const;

  // Prepares for a new message.
  void reset();
  void update(const char* data, size_t length);
  void update(const std::string& data) { update(data.data(), data.size()); }
  // Finishes the current message; the next one may follow at once.
  HMACResult getResult();
  HMACResult getResult(const std::string& text) {
    reset();
    update(text);
    return getResult();
  }

 private:
  size_t blockSize_;
  std::unique_ptr<MessageDigest> md_;
  std::string ipad_;
  std::string opad_;
  bool clean_;
};

// PBKDF2 (RFC 2898) with the HMAC as pseudo-random function. A key length of 0 means the
// digest length; an iteration count of 0 acts like 1. A null hmac raises FatalException.
std::string PBKDF2(HMAC* hmac, const char* salt, size_t saltLength, size_t iterations,
                   size_t keyLength = 0);

}  // namespace security
}  // namespace util
}  // namespace quarn

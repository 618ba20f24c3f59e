#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "foundation/MessageDigestImpl.h"

namespace quarn {

// A hash computation selected by hash-type name ("sha-1", "md5", "adler32", ...).
class MessageDigest {
 public:
  ~MessageDigest();

  static std::unique_ptr<MessageDigest> sha1();
  // For an unsupported name the result has no implementation and must not be
  // used; check supports() first.
  static std::unique_ptr<MessageDigest> create(const std::string& hashType);
  static bool supports(const std::string& hashType);
  static std::vector<std::string> getSupportedHashTypes();
  static std::string getSupportedHashTypeString();
  static size_t getDigestLength(const std::string& hashType);
  static bool isStronger(const std::string& lhs, const std::string& rhs);
  static bool isValidHash(const std::string& hashType, const std::string& hexDigest);
  static std::string getCanonicalHashType(const std::string& hashType);

  size_t getDigestLength() const;
  void reset();
  MessageDigest& update(const void* data, size_t length);
  // out must hold getDigestLength() bytes. Finishing does not reset.
  void digest(unsigned char* out);
  std::string digest();

 private:
  explicit MessageDigest(std::unique_ptr<MessageDigestImpl> impl);

  std::unique_ptr<MessageDigestImpl> pImpl_;
};

}  // namespace quarn

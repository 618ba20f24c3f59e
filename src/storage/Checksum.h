#pragma once

#include <string>

namespace quarn {

// One whole-file digest (raw bytes) with its hash type.
class Checksum {
 public:
  Checksum();
  Checksum(std::string hashType, std::string digest);

  bool isEmpty() const { return digest_.empty(); }

  const std::string& getHashType() const { return hashType_; }
  void setHashType(std::string hashType) { hashType_ = std::move(hashType); }
  const std::string& getDigest() const { return digest_; }
  void setDigest(std::string digest) { digest_ = std::move(digest); }

  void swap(Checksum& other);

 private:
  std::string hashType_;
  std::string digest_;
};

void swap(Checksum& a, Checksum& b);

}  // namespace quarn

#include "storage/Checksum.h"

namespace quarn {

Checksum::Checksum() : hashType_("sha-1") {}

Checksum::Checksum(std::string hashType, std::string digest)
    : hashType_(std::move(hashType)), digest_(std::move(digest)) {}

void Checksum::swap(Checksum& other) {
  if (this != &other) {
    hashType_.swap(other.hashType_);
    digest_.swap(other.digest_);
  }
}

void swap(Checksum& a, Checksum& b) {
  a.swap(b);
}

}  // namespace quarn

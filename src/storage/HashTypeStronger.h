#pragma once

#include "foundation/MessageDigest.h"
#include "storage/Checksum.h"

namespace quarn {

// Orders checksums strongest hash type first.
struct HashTypeStronger {
  bool operator()(const Checksum& a, const Checksum& b) const {
    return MessageDigest::isStronger(a.getHashType(), b.getHashType());
  }
};

}  // namespace quarn

#pragma once

#include <memory>

#include "dht/DHTConstants.h"
#include "dht/DHTNodeLookupEntry.h"

namespace quarn {

// Orders lookup entries by XOR distance of their node ids to the target,
// nearest first.
class DHTIDCloser {
 public:
  explicit DHTIDCloser(const unsigned char* targetID) : targetID_(targetID) {}

  bool operator()(const std::unique_ptr<DHTNodeLookupEntry>& a,
                  const std::unique_ptr<DHTNodeLookupEntry>& b) const {
    return closer(a->node->getID(), b->node->getID());
  }

  // True when id a lies nearer to the target than id b.
  bool closer(const unsigned char* a, const unsigned char* b) const {
    for (size_t i = 0; i < DHT_ID_LENGTH; ++i) {
      unsigned char da = a[i] ^ targetID_[i];
      unsigned char db = b[i] ^ targetID_[i];
      if (da != db) {
        return da < db;
      }
    }
    return false;
  }

 private:
  const unsigned char* targetID_;
};

}  // namespace quarn

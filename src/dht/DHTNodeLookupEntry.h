#pragma once

#include <memory>

#include "dht/DHTNode.h"

namespace quarn {

// A node met during a lookup; used once a query went to it.
struct DHTNodeLookupEntry {
  explicit DHTNodeLookupEntry(std::shared_ptr<DHTNode> node) : node(std::move(node)) {}

  std::shared_ptr<DHTNode> node;
  bool used = false;

  bool operator==(const DHTNodeLookupEntry& other) const { return *node == *other.node; }
};

}  // namespace quarn

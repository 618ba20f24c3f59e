#pragma once

#include <memory>
#include <string>
#include <vector>

#include <cstdint>

namespace quarn {

class DHTNode;

// Reads the routing-table file of one address family. Nothing read is kept
// unless the whole file is sound.
class DHTRoutingTableDeserializer {
 public:
  explicit DHTRoutingTableDeserializer(int family) : family_(family) {}

  // Throws DlAbortEx for a missing, unreadable, short or foreign file.
  void deserialize(const std::string& filename);

  const std::shared_ptr<DHTNode>& getLocalNode() const { return localNode_; }
  const std::vector<std::shared_ptr<DHTNode>>& getNodes() const { return nodes_; }
  // Seconds since the epoch as the file says; any value a file holds, so it
  // is kept as read rather than made a clock reading.
  int64_t getSerializedTime() const { return serializedTime_; }

 private:
  int family_;
  std::shared_ptr<DHTNode> localNode_;
  std::vector<std::shared_ptr<DHTNode>> nodes_;
  int64_t serializedTime_ = 0;
};

}  // namespace quarn

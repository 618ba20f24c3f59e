#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DHTNode;

// Writes the local id and the given nodes to the routing-table file of one
// address family, through a temporary file so that a failed save leaves the
// previous file whole.
class DHTRoutingTableSerializer {
 public:
  explicit DHTRoutingTableSerializer(int family) : family_(family) {}

  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }
  void setNodes(const std::vector<std::shared_ptr<DHTNode>>& nodes) { nodes_ = nodes; }
  // Throws DlAbortEx when the file cannot be written.
  void serialize(const std::string& filename);

 private:
  int family_;
  std::shared_ptr<DHTNode> localNode_;
  std::vector<std::shared_ptr<DHTNode>> nodes_;
};

}  // namespace quarn

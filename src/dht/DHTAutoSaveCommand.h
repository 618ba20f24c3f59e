#pragma once

#include <memory>

#include "engine/TimeBasedCommand.h"

namespace quarn {

class DHTNode;
class DHTRoutingTable;

// Saves the routing table of one family every interval and once more when
// the run is over.
class DHTAutoSaveCommand : public TimeBasedCommand {
 public:
  DHTAutoSaveCommand(cuid_t cuid, DownloadEngine* e, int family, std::chrono::seconds interval);

  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }
  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }

 protected:
  void preProcess() override;
  void process() override { save(); }

 private:
  void save();

  int family_;
  std::shared_ptr<DHTNode> localNode_;
  DHTRoutingTable* routingTable_ = nullptr;
};

}  // namespace quarn

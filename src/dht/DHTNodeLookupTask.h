#pragma once

#include "dht/DHTAbstractNodeLookupTask.h"
#include "dht/DHTFindNodeReplyMessage.h"

namespace quarn {

// Finds the nodes nearest to an id with find_node queries.
class DHTNodeLookupTask : public DHTAbstractNodeLookupTask<DHTFindNodeReplyMessage> {
 public:
  using DHTAbstractNodeLookupTask::DHTAbstractNodeLookupTask;

 protected:
  void getNodesFromMessage(std::vector<std::shared_ptr<DHTNode>>& nodes,
                           const DHTFindNodeReplyMessage* message) override;
  std::unique_ptr<DHTMessage> createMessage(const std::shared_ptr<DHTNode>& node) override;
  std::unique_ptr<DHTMessageCallback> createCallback() override;
};

}  // namespace quarn

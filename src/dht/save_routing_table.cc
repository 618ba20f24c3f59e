#include "dht/save_routing_table.h"

#include <vector>

#include "dht/DHTBucket.h"
#include "dht/DHTNode.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTRoutingTableSerializer.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"

namespace quarn {
namespace dht {

void saveRoutingTable(const std::string& path, int family,
                      const std::shared_ptr<DHTNode>& localNode, const DHTRoutingTable& table) {
  QLOG_INFO(fmt("Saving DHT routing table to %s.", path.c_str()));
  File(path + "__temp").remove();
  File(File(path).getDirname()).mkdirs();
  std::vector<std::shared_ptr<DHTBucket>> buckets;
  table.getBuckets(buckets);
  std::vector<std::shared_ptr<DHTNode>> nodes;
  for (const auto& bucket : buckets) {
    bucket->getGoodNodes(nodes);
  }
  DHTRoutingTableSerializer serializer(family);
  serializer.setLocalNode(localNode);
  serializer.setNodes(nodes);
  try {
    serializer.serialize(path);
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX(fmt("Exception caught while saving DHT routing table to %s", path.c_str()), e);
  }
}

}  // namespace dht
}  // namespace quarn

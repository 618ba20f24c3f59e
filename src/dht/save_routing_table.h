#pragma once

#include <memory>
#include <string>

namespace quarn {

class DHTNode;
class DHTRoutingTable;

namespace dht {

// Writes the local id and the nodes of the table that are not bad, bucket by
// bucket in id order, to path, creating its directory. Failures are logged,
// never thrown: a save that cannot be made must not end the download.
void saveRoutingTable(const std::string& path, int family,
                      const std::shared_ptr<DHTNode>& localNode, const DHTRoutingTable& table);

}  // namespace dht
}  // namespace quarn

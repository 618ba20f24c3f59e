#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DHTNode;
class Peer;

namespace dht {

// The key that carries compact node info in the family's replies.
const char* nodesKey(int family);

// Records of the 20-byte id and compact address of each node of the family,
// at most 8; nodes of another family are left out.
std::string packNodes(const std::vector<std::shared_ptr<DHTNode>>& nodes, int family);
// Fresh nodes from compact node info; records whose address cannot be read
// are skipped. Throws DlAbortEx when the length is not a whole number of
// records.
std::vector<std::shared_ptr<DHTNode>> unpackNodes(const std::string& data, int family);

// The compact form of each peer of the family, at most 25.
std::vector<std::string> packPeers(const std::vector<std::shared_ptr<Peer>>& peers, int family);

}  // namespace dht
}  // namespace quarn

#include "dht/compact_node.h"

#include <sys/socket.h>

#include "bittorrent/Peer.h"
#include "bittorrent/compact_peer.h"
#include "dht/DHTConstants.h"
#include "dht/DHTNode.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {
namespace dht {

namespace {

constexpr size_t MAX_VALUES = 25;

}  // namespace

const char* nodesKey(int family) {
  return family == AF_INET ? "nodes" : "nodes6";
}

std::string packNodes(const std::vector<std::shared_ptr<DHTNode>>& nodes, int family) {
  const size_t clen = bittorrent::getCompactLength(family);
  std::string out;
  size_t written = 0;
  for (const auto& node : nodes) {
    if (written == DHT_BUCKET_SIZE) {
      break;
    }
    unsigned char compact[bittorrent::COMPACT_LEN_IPV6];
    if (bittorrent::packcompact(compact, node->getIPAddress(), node->getPort()) != clen) {
      continue;
    }
    out.append(reinterpret_cast<const char*>(node->getID()), DHT_ID_LENGTH);
    out.append(reinterpret_cast<const char*>(compact), clen);
    ++written;
  }
  return out;
}

std::vector<std::shared_ptr<DHTNode>> unpackNodes(const std::string& data, int family) {
  const size_t unit = bittorrent::getCompactLength(family) + DHT_ID_LENGTH;
  if (data.size() % unit != 0) {
    throw DL_ABORT_EX(fmt("Nodes length is not multiple of %d", static_cast<int>(unit)));
  }
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::vector<std::shared_ptr<DHTNode>> nodes;
  for (size_t off = 0; off < data.size(); off += unit) {
    auto [addr, port] = bittorrent::unpackcompact(p + off + DHT_ID_LENGTH, family);
    if (addr.empty()) {
      continue;
    }
    auto node = std::make_shared<DHTNode>(p + off);
    node->setIPAddress(addr);
    node->setPort(port);
    nodes.push_back(std::move(node));
  }
  return nodes;
}

std::vector<std::string> packPeers(const std::vector<std::shared_ptr<Peer>>& peers, int family) {
  const size_t clen = bittorrent::getCompactLength(family);
  std::vector<std::string> out;
  for (const auto& peer : peers) {
    if (out.size() == MAX_VALUES) {
      break;
    }
    unsigned char compact[bittorrent::COMPACT_LEN_IPV6];
    if (clen != 0 &&
        bittorrent::packcompact(compact, peer->getIPAddress(), peer->getPort()) == clen) {
      out.emplace_back(reinterpret_cast<const char*>(compact), clen);
    }
  }
  return out;
}

}  // namespace dht
}  // namespace quarn

#include "dht/DHTRoutingTableDeserializer.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/compact_peer.h"
#include "bittorrent/wire_fields.h"
#include "dht/DHTNode.h"
#include "dht/dht_file_format.h"
#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"

namespace quarn {

namespace {

// Reads exactly length bytes or throws.
void readBytes(BufferedFile& fp, unsigned char* buf, size_t length) {
  if (fp.read(buf, length) != length) {
    throw DL_ABORT_EX("Failed to load DHT routing table.");
  }
}

void skip(BufferedFile& fp, size_t length) {
  unsigned char buf[dht::FILE_RECORD_LENGTH];
  readBytes(fp, buf, length);
}

}  // namespace

void DHTRoutingTableDeserializer::deserialize(const std::string& filename) {
  QLOG_INFO(fmt("Loading DHT routing table from %s.", filename.c_str()));
  BufferedFile fp(filename.c_str(), "rb");
  if (!fp.isOpen()) {
    throw DL_ABORT_EX(fmt("Failed to load DHT routing table from %s", filename.c_str()));
  }
  unsigned char buf[dht::FILE_RECORD_LENGTH];
  readBytes(fp, buf, 8);
  int64_t saved;
  if (memcmp(buf, dht::FILE_HEADER_V3, 8) == 0) {
    readBytes(fp, buf, 8);
    saved = static_cast<int64_t>(bittorrent::getLLIntParam(buf, 0));
  } else if (memcmp(buf, dht::FILE_HEADER_V2, 8) == 0) {
    readBytes(fp, buf, 8);
    saved = bittorrent::getIntParam(buf, 0);
  } else {
    throw DL_ABORT_EX(
        fmt("Failed to load DHT routing table from %s. cause:%s", filename.c_str(), "bad header"));
  }
  skip(fp, 8);
  readBytes(fp, buf, DHT_ID_LENGTH);
  auto localNode = std::make_shared<DHTNode>(buf);
  skip(fp, 4);
  readBytes(fp, buf, 4);
  const uint32_t count = bittorrent::getIntParam(buf, 0);
  skip(fp, 4);

  const size_t clen = bittorrent::getCompactLength(family_);
  std::vector<std::shared_ptr<DHTNode>> nodes;
  for (uint32_t i = 0; i < count; ++i) {
    // A record is read whole before it is looked at, so a short file fails
    // here and keeps nothing.
    readBytes(fp, buf, dht::FILE_RECORD_LENGTH);
    if (buf[0] != clen) {
      continue;
    }
    const unsigned char* addr = buf + dht::FILE_RECORD_ADDR_OFFSET;
    if (std::all_of(addr, addr + clen, [](unsigned char b) { return b == 0; })) {
      continue;
    }
    auto [ipaddr, port] = bittorrent::unpackcompact(addr, family_);
    if (ipaddr.empty()) {
      continue;
    }
    auto node =
        std::make_shared<DHTNode>(buf + dht::FILE_RECORD_ADDR_OFFSET + dht::FILE_RECORD_ADDR_FIELD);
    node->setIPAddress(ipaddr);
    node->setPort(port);
    nodes.push_back(std::move(node));
  }
  localNode_ = std::move(localNode);
  nodes_ = std::move(nodes);
  serializedTime_ = saved;
  QLOG_INFO("DHT routing table was loaded successfully");
}

}  // namespace quarn

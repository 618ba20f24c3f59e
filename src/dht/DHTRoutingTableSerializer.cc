#include "dht/DHTRoutingTableSerializer.h"

#include <cstring>

#include "bittorrent/compact_peer.h"
#include "bittorrent/wire_fields.h"
#include "dht/DHTNode.h"
#include "dht/dht_file_format.h"
#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/Time.h"
#include "foundation/fmt.h"

namespace quarn {

namespace {

std::string header(const DHTNode& localNode, size_t count) {
  unsigned char h[dht::FILE_HEADER_LENGTH] = {};
  memcpy(h, dht::FILE_HEADER_V3, sizeof(dht::FILE_HEADER_V3));
  bittorrent::setLLIntParam(h + 8, static_cast<uint64_t>(Time().getTimeFromEpoch()));
  memcpy(h + 24, localNode.getID(), DHT_ID_LENGTH);
  bittorrent::setIntParam(h + 48, static_cast<uint32_t>(count));
  return std::string(reinterpret_cast<const char*>(h), sizeof(h));
}

std::string record(const DHTNode& node, int family) {
  unsigned char r[dht::FILE_RECORD_LENGTH] = {};
  const size_t clen = bittorrent::getCompactLength(family);
  r[0] = static_cast<unsigned char>(clen);
  unsigned char* addr = r + dht::FILE_RECORD_ADDR_OFFSET;
  if (bittorrent::packcompact(addr, node.getIPAddress(), node.getPort()) != clen) {
    memset(addr, 0, dht::FILE_RECORD_ADDR_FIELD);
  }
  memcpy(r + dht::FILE_RECORD_ADDR_OFFSET + dht::FILE_RECORD_ADDR_FIELD, node.getID(),
         DHT_ID_LENGTH);
  return std::string(reinterpret_cast<const char*>(r), sizeof(r));
}

}  // namespace

void DHTRoutingTableSerializer::serialize(const std::string& filename) {
  QLOG_INFO(fmt("Saving DHT routing table to %s.", filename.c_str()));
  const std::string tempname = filename + "__temp";
  auto fail = [&] {
    return DL_ABORT_EX(fmt("Failed to save DHT routing table to %s.", filename.c_str()));
  };
  BufferedFile fp(tempname.c_str(), "wb");
  if (!fp.isOpen()) {
    throw fail();
  }
  std::string data = header(*localNode_, nodes_.size());
  for (const auto& node : nodes_) {
    data += record(*node, family_);
  }
  if (fp.write(data.data(), data.size()) != data.size() || fp.close() == EOF) {
    throw fail();
  }
  if (!File(tempname).renameTo(filename)) {
    throw fail();
  }
  QLOG_INFO("DHT routing table was saved successfully");
}

}  // namespace quarn

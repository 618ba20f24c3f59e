#include "dht/DHTUnknownMessage.h"

#include <algorithm>

#include "dht/DHTNode.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

DHTUnknownMessage::DHTUnknownMessage(std::shared_ptr<DHTNode> localNode, const unsigned char* data,
                                     size_t length, std::string ipaddr, uint16_t port)
    : DHTMessage(std::move(localNode), nullptr, ""),
      data_(reinterpret_cast<const char*>(data), length),
      ipaddr_(std::move(ipaddr)),
      port_(port) {}

std::string DHTUnknownMessage::toString() const {
  return fmt("dht unknown Remote:%s(%u) length=%lu, first 8 bytes(hex)=%s", ipaddr_.c_str(), port_,
             static_cast<unsigned long>(data_.size()),
             util::toHex(data_.substr(0, std::min<size_t>(8, data_.size()))).c_str());
}

}  // namespace quarn

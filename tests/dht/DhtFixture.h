#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "dht/DHTConstants.h"
#include "dht/DHTNode.h"
#include "foundation/wallclock.h"

namespace quarn::test {

// A 20-byte id whose first bytes are the given ones and whose last byte is
// tail; the rest is zero.
inline std::string dhtId(std::initializer_list<unsigned char> head, unsigned char tail = 0) {
  std::string id(DHT_ID_LENGTH, '\0');
  size_t i = 0;
  for (auto b : head) {
    id[i++] = static_cast<char>(b);
  }
  id[DHT_ID_LENGTH - 1] = static_cast<char>(id[DHT_ID_LENGTH - 1] | tail);
  return id;
}

inline const unsigned char* uc(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

inline std::shared_ptr<DHTNode> dhtNode(const std::string& id, const std::string& addr = "",
                                        uint16_t port = 0) {
  auto node = std::make_shared<DHTNode>(uc(id));
  node->setIPAddress(addr);
  node->setPort(port);
  return node;
}

// Moves the engine's clock for one test and puts it back afterwards.
class WallclockShift {
 public:
  WallclockShift() : saved_(global::wallclock()) {}
  ~WallclockShift() { global::wallclock() = saved_; }
  void advance(std::chrono::nanoseconds d) {
    global::wallclock() = Timer(global::wallclock().getTime() + d);
  }

 private:
  Timer saved_;
};

}  // namespace quarn::test

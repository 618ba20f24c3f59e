#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Where a peer's DHT port goes: the DHT of the connection's address family
// pings the node and, while its routing table is young, looks up its own id.
class DHTPortReceiver {
 public:
  virtual ~DHTPortReceiver() = default;
  virtual void onPeerPort(const std::string& address, uint16_t port) = 0;
};

}  // namespace quarn

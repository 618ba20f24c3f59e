#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

// The UDP socket of one address family's DHT.
class DHTConnection {
 public:
  virtual ~DHTConnection() = default;
  // One datagram into data: its length, 0 when none is waiting; the sender
  // goes to host and port.
  virtual ssize_t receiveMessage(unsigned char* data, size_t length, std::string& host,
                                 uint16_t& port) = 0;
  // One datagram to host:port: the bytes sent, 0 when the socket would block.
  virtual ssize_t sendMessage(const unsigned char* data, size_t length, const std::string& host,
                              uint16_t port) = 0;
};

}  // namespace quarn

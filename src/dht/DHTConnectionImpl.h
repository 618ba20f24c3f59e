#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dht/DHTConnection.h"

namespace quarn {

class SocketCore;

// The non-blocking UDP socket of one address family.
class DHTConnectionImpl : public DHTConnection {
 public:
  explicit DHTConnectionImpl(int family);
  ~DHTConnectionImpl() override;

  // Binds addr:port (an empty addr is any address; port 0 lets the system
  // choose) and writes the bound port back. False, logged, on failure.
  bool bind(uint16_t& port, const std::string& addr);
  // Tries the ports in random order until one binds.
  bool bind(uint16_t& port, const std::string& addr, std::vector<uint16_t> ports);

  ssize_t receiveMessage(unsigned char* data, size_t length, std::string& host,
                         uint16_t& port) override;
  ssize_t sendMessage(const unsigned char* data, size_t length, const std::string& host,
                      uint16_t port) override;

  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }

 private:
  std::shared_ptr<SocketCore> socket_;
  int family_;
};

}  // namespace quarn

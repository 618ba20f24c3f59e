#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class SocketCore;
struct LpdMessage;

// The process's one listener on the local peer discovery multicast group.
class LpdMessageReceiver {
 public:
  static constexpr size_t MAX_DATAGRAM = 200;

  LpdMessageReceiver(std::string multicastAddress, uint16_t multicastPort);
  ~LpdMessageReceiver();

  // Joins the group on the interface with localAddr (empty: any); false,
  // with an ERROR line, when that fails.
  bool init(const std::string& localAddr);
  // The next usable announce waiting on the socket; null when none is left.
  std::unique_ptr<LpdMessage> receiveMessage();

  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  const std::string& getLocalAddress() const { return localAddress_; }

 private:
  std::shared_ptr<SocketCore> socket_;
  std::string multicastAddress_;
  uint16_t multicastPort_;
  std::string localAddress_;
};

}  // namespace quarn

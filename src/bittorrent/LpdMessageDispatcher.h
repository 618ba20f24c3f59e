#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Timer.h"

namespace quarn {

class SocketCore;

// Announces one torrent to the local peer discovery multicast group.
class LpdMessageDispatcher {
 public:
  LpdMessageDispatcher(std::string infoHash, uint16_t tcpPort, std::string multicastAddress,
                       uint16_t multicastPort,
                       std::chrono::seconds interval = std::chrono::seconds(300));
  ~LpdMessageDispatcher();

  // Opens the sending socket; false, with an ERROR line, when that fails.
  bool init(const std::string& localAddr, unsigned char ttl, unsigned char loop);
  // True when the whole announce went out, false when the socket would
  // block; socket failures are thrown.
  bool sendMessage();
  bool isAnnounceReady() const;
  void resetAnnounceTimer();

  const std::string& getInfoHash() const { return infoHash_; }
  const std::string& getRequest() const { return request_; }

 private:
  std::shared_ptr<SocketCore> socket_;
  std::string infoHash_;
  uint16_t tcpPort_;
  std::string multicastAddress_;
  uint16_t multicastPort_;
  Timer lastAnnounce_;
  std::chrono::seconds interval_;
  std::string request_;
};

}  // namespace quarn

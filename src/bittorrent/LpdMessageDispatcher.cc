#include "bittorrent/LpdMessageDispatcher.h"

#include <sys/socket.h>

#include "bittorrent/lpd_message.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

LpdMessageDispatcher::LpdMessageDispatcher(std::string infoHash, uint16_t tcpPort,
                                           std::string multicastAddress, uint16_t multicastPort,
                                           std::chrono::seconds interval)
    : infoHash_(std::move(infoHash)),
      tcpPort_(tcpPort),
      multicastAddress_(std::move(multicastAddress)),
      multicastPort_(multicastPort),
      lastAnnounce_(Timer::zero()),
      interval_(interval),
      request_(
          bittorrent::createLpdRequest(multicastAddress_, multicastPort_, infoHash_, tcpPort_)) {}

LpdMessageDispatcher::~LpdMessageDispatcher() = default;

bool LpdMessageDispatcher::init(const std::string& localAddr, unsigned char ttl,
                                unsigned char loop) {
  try {
    socket_ = std::make_shared<SocketCore>(SOCK_DGRAM);
    socket_->create(AF_INET);
    QLOG_DEBUG(fmt("Setting multicast outgoing interface=%s", localAddr.c_str()));
    socket_->setMulticastInterface(localAddr);
    QLOG_DEBUG(fmt("Setting multicast ttl=%u", ttl));
    socket_->setMulticastTtl(ttl);
    QLOG_DEBUG(fmt("Setting multicast loop=%u", loop));
    socket_->setMulticastLoop(loop);
    return true;
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Failed to initialize LpdMessageDispatcher.", e);
  }
  return false;
}

bool LpdMessageDispatcher::sendMessage() {
  return socket_->writeData(request_.data(), request_.size(), multicastAddress_, multicastPort_) ==
         static_cast<ssize_t>(request_.size());
}

bool LpdMessageDispatcher::isAnnounceReady() const {
  return lastAnnounce_.difference(global::wallclock()) >= interval_;
}

void LpdMessageDispatcher::resetAnnounceTimer() {
  lastAnnounce_ = global::wallclock();
}

}  // namespace quarn

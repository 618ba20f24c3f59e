#include "bittorrent/LpdMessageReceiver.h"

#include <sys/socket.h>

#include <array>
#include <span>

#include "bittorrent/LpdMessage.h"
#include "bittorrent/lpd_message.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "net/Endpoint.h"
#include "net/SocketCore.h"

namespace quarn {

LpdMessageReceiver::LpdMessageReceiver(std::string multicastAddress, uint16_t multicastPort)
    : multicastAddress_(std::move(multicastAddress)), multicastPort_(multicastPort) {}

LpdMessageReceiver::~LpdMessageReceiver() = default;

bool LpdMessageReceiver::init(const std::string& localAddr) {
  try {
    // Several processes on one host listen to the group: the socket shares
    // its port (SocketCore sets SO_REUSEADDR on every socket).
    socket_ = std::make_shared<SocketCore>(SOCK_DGRAM);
    socket_->bind(multicastAddress_.c_str(), multicastPort_, AF_INET, AI_PASSIVE);
    QLOG_DEBUG(fmt("Joining multicast group. %s:%u, localAddr=%s", multicastAddress_.c_str(),
                   multicastPort_, localAddr.c_str()));
    socket_->joinMulticastGroup(multicastAddress_, multicastPort_, localAddr);
    socket_->setNonBlockingMode();
    localAddress_ = localAddr;
    QLOG_INFO(
        fmt("Listening multicast group (%s:%u) packet", multicastAddress_.c_str(), multicastPort_));
    return true;
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Failed to initialize LPD message receiver.", e);
  }
  return false;
}

std::unique_ptr<LpdMessage> LpdMessageReceiver::receiveMessage() {
  while (true) {
    std::array<std::byte, MAX_DATAGRAM> buf;
    Endpoint sender;
    ssize_t length = 0;
    try {
      length = socket_->readDataFrom(buf.data(), buf.size(), sender);
    } catch (const RecoverableException& e) {
      QLOG_INFO_EX("Failed to receive LPD message.", e);
      return nullptr;
    }
    if (length <= 0) {
      return nullptr;
    }
    auto message = bittorrent::parseLpdMessage(
        std::span<const std::byte>(buf.data(), static_cast<size_t>(length)), sender.addr);
    if (message) {
      return message;
    }
  }
}

}  // namespace quarn

#include "dht/DHTConnectionImpl.h"

#include <sys/socket.h>

#include <algorithm>

#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/Endpoint.h"
#include "net/SocketCore.h"

namespace quarn {

DHTConnectionImpl::DHTConnectionImpl(int family)
    : socket_(std::make_shared<SocketCore>(SOCK_DGRAM)), family_(family) {
  // A second program bound to our port would receive our replies.
  socket_->setReuseAddr(false);
}

DHTConnectionImpl::~DHTConnectionImpl() = default;

bool DHTConnectionImpl::bind(uint16_t& port, const std::string& addr) {
  const int ipv = family_ == AF_INET ? 4 : 6;
  try {
    socket_->bind(addr.empty() ? nullptr : addr.c_str(), port, family_);
    socket_->setNonBlockingMode();
    port = socket_->getAddrInfo().port;
    QLOG_NOTICE(fmt(_("IPv%d DHT: listening on UDP port %u"), ipv, port));
    return true;
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX(fmt("IPv%d DHT: failed to bind UDP port %u", ipv, port), e);
  }
  return false;
}

bool DHTConnectionImpl::bind(uint16_t& port, const std::string& addr, std::vector<uint16_t> ports) {
  std::shuffle(ports.begin(), ports.end(), *SimpleRandomizer::getInstance());
  for (uint16_t p : ports) {
    port = p;
    if (bind(port, addr)) {
      return true;
    }
  }
  return false;
}

ssize_t DHTConnectionImpl::receiveMessage(unsigned char* data, size_t length, std::string& host,
                                          uint16_t& port) {
  Endpoint sender;
  ssize_t r = socket_->readDataFrom(data, length, sender);
  if (r > 0) {
    host = sender.addr;
    port = sender.port;
  }
  return r;
}

ssize_t DHTConnectionImpl::sendMessage(const unsigned char* data, size_t length,
                                       const std::string& host, uint16_t port) {
  return socket_->writeData(data, length, host, port);
}

}  // namespace quarn

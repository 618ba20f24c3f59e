#include "bittorrent/PeerListenCommand.h"

#include <sys/socket.h>

#include <algorithm>
#include <vector>

#include "bittorrent/Peer.h"
#include "bittorrent/ReceiverMSEHandshakeCommand.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"

namespace quarn {

PeerListenCommand::PeerListenCommand(cuid_t cuid, DownloadEngine* engine, int family)
    : Command(cuid), engine_(engine), family_(family) {}

PeerListenCommand::~PeerListenCommand() = default;

bool PeerListenCommand::bindPort(uint16_t& port, SegList<int>& portList) {
  std::vector<int> ports;
  while (portList.hasNext()) {
    ports.push_back(portList.next());
  }
  std::shuffle(ports.begin(), ports.end(), *SimpleRandomizer::getInstance());
  const int ipv = family_ == AF_INET ? 4 : 6;
  for (int candidate : ports) {
    socket_ = std::make_shared<SocketCore>();
    try {
      socket_->bindWithFamily(static_cast<uint16_t>(candidate), family_, AI_PASSIVE);
      socket_->beginListen();
      QLOG_NOTICE(fmt(_("IPv%d BitTorrent: listening on TCP port %u"), ipv, candidate));
      port = getPort();
      return true;
    } catch (const RecoverableException& e) {
      QLOG_ERROR_EX(fmt("IPv%d BitTorrent: failed to bind TCP port %u", ipv, candidate), e);
    }
  }
  socket_.reset();
  return false;
}

uint16_t PeerListenCommand::getPort() const {
  return socket_ ? socket_->getAddrInfo().port : 0;
}

void PeerListenCommand::acceptOne() {
  auto peerSocket = socket_->acceptConnection();
  peerSocket->applyIpDscp();
  const Endpoint remote = peerSocket->getPeerInfo();
  auto peer = std::make_shared<Peer>(remote.addr, remote.port, true);
  const cuid_t cuid = engine_->newCUID();
  engine_->addCommand(
      std::make_unique<ReceiverMSEHandshakeCommand>(cuid, peer, engine_, peerSocket));
  QLOG_DEBUG(fmt("Accepted the connection from %s:%u.", remote.addr.c_str(), remote.port));
  QLOG_DEBUG(
      fmt("Added CUID#%lld to receive BitTorrent/MSE handshake.", static_cast<long long>(cuid)));
}

bool PeerListenCommand::execute() {
  auto* man = engine_->getRequestGroupMan();
  if (engine_->isHaltRequested() ||
      (man && man->countRequestGroup() == 0 && man->getReservedGroups().empty())) {
    return true;
  }
  for (int i = 0; i < MAX_ACCEPT_PER_TURN && socket_ && socket_->isReadable(0); ++i) {
    try {
      acceptOne();
    } catch (const RecoverableException& e) {
      QLOG_DEBUG_EX(
          fmt("CUID#%lld - Error in accepting connection", static_cast<long long>(getCuid())), e);
    }
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn

#include "rpc/HttpListenCommand.h"

#include <netdb.h>
#include <sys/socket.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"
#include "rpc/HttpServerCommand.h"

namespace quarn {
namespace rpc {

HttpListenCommand::HttpListenCommand(cuid_t cuid, DownloadEngine* e, int family, bool secure)
    : Command(cuid), e_(e), family_(family), secure_(secure) {}

HttpListenCommand::~HttpListenCommand() {
  if (serverSocket_) {
    e_->deleteSocketForReadCheck(serverSocket_->getSockfd(), this);
  }
}

bool HttpListenCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  try {
    if (serverSocket_->isReadable(0)) {
      std::shared_ptr<SocketCore> socket = serverSocket_->acceptConnection();
      socket->setTcpNodelay(true);
      auto peer = socket->getPeerInfo();
      QLOG_INFO(fmt("RPC: Accepted the connection from %s:%u.", peer.addr.c_str(), peer.port));
      e_->setNoWait(true);
      e_->addCommand(std::make_unique<HttpServerCommand>(e_->newCUID(), e_, socket, secure_));
    }
  } catch (RecoverableException& ex) {
    QLOG_DEBUG_EX(
        fmt("CUID#%lld - Error in accepting connection", static_cast<long long>(getCuid())), ex);
  }
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

bool HttpListenCommand::bindPort(uint16_t port) {
  if (serverSocket_) {
    e_->deleteSocketForReadCheck(serverSocket_->getSockfd(), this);
  }
  serverSocket_ = std::make_shared<SocketCore>();
  const int ipv = family_ == AF_INET ? 4 : 6;
  try {
    int flags = e_->getOption()->getAsBool(PREF_RPC_LISTEN_ALL) ? AI_PASSIVE : 0;
    serverSocket_->bind(nullptr, port, family_, flags);
    serverSocket_->beginListen();
    QLOG_INFO(fmt("CUID#%lld - Using port %d for accepting new connections",
                  static_cast<long long>(getCuid()), port));
    e_->addSocketForReadCheck(serverSocket_->getSockfd(), this);
    QLOG_NOTICE(fmt(_("IPv%d RPC: listening on TCP port %u"), ipv, port));
    return true;
  } catch (RecoverableException& ex) {
    QLOG_ERROR_EX(fmt("IPv%d RPC: failed to bind TCP port %u", ipv, port), ex);
    serverSocket_->closeConnection();
  }
  return false;
}

}  // namespace rpc
}  // namespace quarn

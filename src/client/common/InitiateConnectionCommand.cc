#include "client/common/InitiateConnectionCommand.h"

#include <algorithm>
#include <cinttypes>

#include <arpa/inet.h>

#include "client/common/BackupConnectInfo.h"
#include "client/common/BackupIPv4ConnectCommand.h"
#include "client/common/ConnectCommand.h"
#include "client/common/InitiateConnectionCommandFactory.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {

namespace {

bool isFamily(int family, const std::string& addr) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(family, addr.c_str(), buf) == 1;
}

}  // namespace

InitiateConnectionCommand::InitiateConnectionCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                                     std::shared_ptr<FileEntry> fileEntry,
                                                     RequestGroup* requestGroup, DownloadEngine* e)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e) {
  setTimeout(getOption()->getAsInt(PREF_DNS_TIMEOUT));
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  disableReadCheckSocket();
  disableWriteCheckSocket();
}

InitiateConnectionCommand::~InitiateConnectionCommand() = default;

bool InitiateConnectionCommand::executeInternal() {
  auto proxyRequest = createProxyRequest();
  const std::string& hostname = proxyRequest ? proxyRequest->getHost() : getRequest()->getHost();
  uint16_t port = proxyRequest ? proxyRequest->getPort() : getRequest()->getPort();
  std::vector<std::string> addrs;
  std::string ipaddr = resolveHostname(addrs, hostname, port);
  if (ipaddr.empty()) {
    addCommandSelf();
    return false;
  }
  DownloadEngine* e = getDownloadEngine();
  try {
    auto command = createNextCommand(hostname, ipaddr, port, addrs, proxyRequest);
    command->setStatus(Command::STATUS_ONESHOT_REALTIME);
    e->setNoWait(true);
    e->addCommand(std::move(command));
    return true;
  } catch (const RecoverableException& ex) {
    e->markBadIPAddress(hostname, ipaddr, port);
    if (e->findCachedIPAddress(hostname, port).empty()) {
      e->removeCachedIPAddress(hostname, port);
      throw;
    }
    QLOG_INFO_EX(_("Exception caught"), ex);
    QLOG_INFO(fmt("CUID#%" PRId64 " - Could not to connect to %s:%u. Trying another address",
                  getCuid(), ipaddr.c_str(), port));
    e->addCommand(InitiateConnectionCommandFactory::createInitiateConnectionCommand(
        getCuid(), getRequest(), getFileEntry(), getRequestGroup(), e));
    e->setNoWait(true);
    return true;
  }
}

void InitiateConnectionCommand::setConnectedAddrInfo(const std::shared_ptr<Request>& req,
                                                     const std::string& hostname,
                                                     const std::shared_ptr<SocketCore>& socket) {
  Endpoint peer = socket->getPeerInfo();
  req->setConnectedAddrInfo(hostname, peer.addr, peer.port);
}

std::shared_ptr<BackupConnectInfo> InitiateConnectionCommand::createBackupIPv4ConnectCommand(
    const std::string& hostname, const std::string& ipaddr, uint16_t port, Command* mainCommand) {
  if (!isFamily(AF_INET6, ipaddr)) {
    return nullptr;
  }
  QLOG_INFO("Searching IPv4 address for backup connection attempt");
  std::vector<std::string> cached;
  getDownloadEngine()->findAllCachedIPAddresses(cached, hostname, port);
  auto found = std::find_if(cached.begin(), cached.end(),
                            [](const std::string& addr) { return isFamily(AF_INET, addr); });
  if (found == cached.end()) {
    return nullptr;
  }
  const std::string& candidate = *found;
  auto info = std::make_shared<BackupConnectInfo>();
  cuid_t newCuid = getDownloadEngine()->newCUID();
  auto command = std::make_unique<BackupIPv4ConnectCommand>(
      newCuid, candidate, port, info, mainCommand, getRequestGroup(), getDownloadEngine());
  QLOG_INFO(
      fmt("Issue backup connection command CUID#%" PRId64 ", addr=%s", newCuid, candidate.c_str()));
  getDownloadEngine()->addCommand(std::move(command));
  return info;
}

void InitiateConnectionCommand::setupBackupConnection(const std::string& hostname,
                                                      const std::string& ipaddr, uint16_t port,
                                                      ConnectCommand* c) {
  auto info = createBackupIPv4ConnectCommand(hostname, ipaddr, port, c);
  if (info) {
    c->setBackupConnectInfo(info);
  }
}

}  // namespace quarn

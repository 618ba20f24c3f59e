#include "client/ftp/FtpInitiateConnectionCommand.h"

#include "client/auth/AuthConfig.h"
#include "client/auth/AuthConfigFactory.h"
#include "client/common/ConnectCommand.h"
#include "client/ftp/FtpNegotiationCommand.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequestCommand.h"
#include "client/sftp/SftpNegotiationCommand.h"

#include "client/ftp/ftp_connect_chains.h"
#include "client/http/connect_chains.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/Request.h"

namespace quarn {

FtpInitiateConnectionCommand::FtpInitiateConnectionCommand(
    cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
    RequestGroup* requestGroup, DownloadEngine* e)
    : InitiateConnectionCommand(cuid, req, fileEntry, requestGroup, e) {}

FtpInitiateConnectionCommand::~FtpInitiateConnectionCommand() = default;

std::unique_ptr<Command> FtpInitiateConnectionCommand::createNextCommand(
    const std::string& hostname, const std::string& addr, uint16_t port,
    const std::vector<std::string>& resolvedAddresses,
    const std::shared_ptr<Request>& proxyRequest) {
  if (proxyRequest) {
    return createNextCommandProxied(hostname, addr, port, resolvedAddresses, proxyRequest);
  }
  return createNextCommandPlain(hostname, addr, port, resolvedAddresses);
}

std::unique_ptr<Command> FtpInitiateConnectionCommand::createPooledNegotiation(
    const std::string& hostname, const std::shared_ptr<SocketCore>& socket,
    const std::string& baseDir) {
  setConnectedAddrInfo(getRequest(), hostname, socket);
  if (getRequest()->getProtocol() == "sftp") {
    return std::make_unique<SftpNegotiationCommand>(getCuid(), getRequest(), getFileEntry(),
                                                    getRequestGroup(), getDownloadEngine(), socket,
                                                    SftpNegotiationCommand::SEQ_SFTP_OPEN);
  }
  return std::make_unique<FtpNegotiationCommand>(getCuid(), getRequest(), getFileEntry(),
                                                 getRequestGroup(), getDownloadEngine(), socket,
                                                 FtpNegotiationCommand::SEQ_SEND_CWD_PREP, baseDir);
}

std::unique_ptr<Command> FtpInitiateConnectionCommand::createNextCommandPlain(
    const std::string& hostname, const std::string& addr, uint16_t port,
    const std::vector<std::string>& resolvedAddresses) {
  auto authConfig = authConfigFactory(getDownloadEngine())
                        ->createAuthConfig(getRequest(), getRequestGroup()->getOption().get());
  std::string baseDir;
  auto pooled = getDownloadEngine()->popPooledSocket(
      baseDir, resolvedAddresses, getRequest()->getPort(), authConfig ? authConfig->getUser() : "");
  if (pooled) {
    return createPooledNegotiation(hostname, pooled, baseDir);
  }
  QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()), addr.c_str(),
                port));
  createSocket();
  getSocket()->establishConnection(addr, port);
  getRequest()->setConnectedAddrInfo(hostname, addr, port);
  auto c = std::make_unique<ConnectCommand>(getCuid(), getRequest(), nullptr, getFileEntry(),
                                            getRequestGroup(), getDownloadEngine(), getSocket());
  if (getRequest()->getProtocol() == "sftp") {
    c->setControlChain(std::make_shared<SftpNegotiationConnectChain>());
  } else {
    c->setControlChain(std::make_shared<FtpNegotiationConnectChain>());
  }
  setupBackupConnection(hostname, addr, port, c.get());
  return c;
}

std::unique_ptr<Command> FtpInitiateConnectionCommand::createNextCommandProxied(
    const std::string& hostname, const std::string& addr, uint16_t port,
    const std::vector<std::string>& /*resolvedAddresses*/,
    const std::shared_ptr<Request>& proxyRequest) {
  std::string method = resolveProxyMethod(getRequest()->getProtocol());
  std::shared_ptr<SocketCore> pooled;
  std::string baseDir;
  if (method == V_GET) {
    pooled = getDownloadEngine()->popPooledSocket(getRequest()->getHost(), getRequest()->getPort(),
                                                  proxyRequest->getHost(), proxyRequest->getPort());
  } else {
    auto authConfig = authConfigFactory(getDownloadEngine())
                          ->createAuthConfig(getRequest(), getRequestGroup()->getOption().get());
    pooled = getDownloadEngine()->popPooledSocket(
        baseDir, getRequest()->getHost(), getRequest()->getPort(),
        authConfig ? authConfig->getUser() : "", proxyRequest->getHost(), proxyRequest->getPort());
  }
  if (pooled) {
    if (method == V_TUNNEL) {
      return createPooledNegotiation(hostname, pooled, baseDir);
    }
    setConnectedAddrInfo(getRequest(), hostname, pooled);
    getRequest()->setMethod(Request::METHOD_GET);
    auto httpConnection = std::make_shared<HttpConnection>(
        getCuid(), pooled, std::make_shared<SocketRecvBuffer>(pooled));
    auto c = std::make_unique<HttpRequestCommand>(getCuid(), getRequest(), getFileEntry(),
                                                  getRequestGroup(), httpConnection,
                                                  getDownloadEngine(), pooled);
    c->setProxyRequest(proxyRequest);
    return c;
  }
  QLOG_INFO(fmt("CUID#%lld - Connecting to %s:%d", static_cast<long long>(getCuid()), addr.c_str(),
                port));
  createSocket();
  getSocket()->establishConnection(addr, port);
  getRequest()->setConnectedAddrInfo(hostname, addr, port);
  auto c = std::make_unique<ConnectCommand>(getCuid(), getRequest(), proxyRequest, getFileEntry(),
                                            getRequestGroup(), getDownloadEngine(), getSocket());
  if (method == V_GET) {
    getRequest()->setMethod(Request::METHOD_GET);
    c->setControlChain(std::make_shared<HttpRequestConnectChain>());
  } else {
    c->setControlChain(std::make_shared<FtpTunnelRequestConnectChain>());
  }
  setupBackupConnection(hostname, addr, port, c.get());
  return c;
}

}  // namespace quarn

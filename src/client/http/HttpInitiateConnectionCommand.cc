#include "client/http/HttpInitiateConnectionCommand.h"

#include <cinttypes>

#include "client/common/ConnectCommand.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequestCommand.h"
#include "client/http/connect_chains.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/Request.h"

namespace quarn {

std::unique_ptr<Command> HttpInitiateConnectionCommand::createRequestCommand(
    const std::shared_ptr<SocketCore>& socket, const std::shared_ptr<Request>& proxyRequest) {
  auto buffer = std::make_shared<SocketRecvBuffer>(socket);
  auto connection = std::make_shared<HttpConnection>(getCuid(), socket, buffer);
  auto command = std::make_unique<HttpRequestCommand>(getCuid(), getRequest(), getFileEntry(),
                                                      getRequestGroup(), connection,
                                                      getDownloadEngine(), socket);
  if (proxyRequest) {
    command->setProxyRequest(proxyRequest);
  }
  return command;
}

std::unique_ptr<Command> HttpInitiateConnectionCommand::createConnectCommand(
    const std::string& hostname, const std::string& addr, uint16_t port,
    const std::shared_ptr<Request>& proxyRequest, bool tunnel) {
  QLOG_INFO(fmt("CUID#%" PRId64 " - Connecting to %s:%d", getCuid(), addr.c_str(), port));
  createSocket();
  getSocket()->establishConnection(addr, port, true);
  getRequest()->setConnectedAddrInfo(hostname, addr, port);
  auto command =
      std::make_unique<ConnectCommand>(getCuid(), getRequest(), proxyRequest, getFileEntry(),
                                       getRequestGroup(), getDownloadEngine(), getSocket());
  if (tunnel) {
    command->setControlChain(std::make_shared<HttpProxyRequestConnectChain>());
  } else {
    command->setControlChain(std::make_shared<HttpRequestConnectChain>());
  }
  setupBackupConnection(hostname, addr, port, command.get());
  return command;
}

std::unique_ptr<Command> HttpInitiateConnectionCommand::createNextCommand(
    const std::string& hostname, const std::string& addr, uint16_t port,
    const std::vector<std::string>& resolvedAddresses,
    const std::shared_ptr<Request>& proxyRequest) {
  const auto& req = getRequest();
  DownloadEngine* e = getDownloadEngine();
  bool tls = req->getProtocol() == "https";
  if (proxyRequest) {
    auto pooled = tls ? e->popPooledTLSSocket(req->getHost(), req->getHost(), req->getPort(),
                                              proxyRequest->getHost(), proxyRequest->getPort())
                      : e->popPooledSocket(req->getHost(), req->getPort(), proxyRequest->getHost(),
                                           proxyRequest->getPort());
    bool get = resolveProxyMethod(req->getProtocol()) == V_GET;
    if (pooled) {
      setConnectedAddrInfo(req, hostname, pooled);
      return createRequestCommand(pooled, get ? proxyRequest : nullptr);
    }
    return createConnectCommand(hostname, addr, port, proxyRequest, !get);
  }
  auto pooled = tls ? e->popPooledTLSSocket(req->getHost(), resolvedAddresses, req->getPort())
                    : e->popPooledSocket(resolvedAddresses, req->getPort());
  if (pooled) {
    setSocket(pooled);
    setConnectedAddrInfo(req, hostname, pooled);
    return createRequestCommand(pooled, nullptr);
  }
  return createConnectCommand(hostname, addr, port, nullptr, false);
}

}  // namespace quarn

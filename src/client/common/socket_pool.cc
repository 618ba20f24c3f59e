#include "client/common/socket_pool.h"

#include "engine/DownloadEngine.h"
#include "foundation/Exception.h"
#include "foundation/LogMacros.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {

void poolRequestSocket(DownloadEngine* e, const std::shared_ptr<Request>& req,
                       const std::shared_ptr<Request>& proxyRequest,
                       const std::shared_ptr<SocketCore>& socket, std::chrono::seconds timeout) {
  if (!socket || !socket->isOpen()) {
    return;
  }
  bool tls = req->getProtocol() == "https";
  if (proxyRequest) {
    if (tls) {
      e->poolTLSSocket(req->getHost(), req->getHost(), req->getPort(), proxyRequest->getHost(),
                       proxyRequest->getPort(), socket, timeout);
    } else {
      e->poolSocket(req->getHost(), req->getPort(), proxyRequest->getHost(),
                    proxyRequest->getPort(), socket, timeout);
    }
    return;
  }
  Endpoint peer;
  try {
    peer = socket->getPeerInfo();
  } catch (const Exception&) {
    QLOG_INFO("Getting peer info failed. Pooling socket canceled.");
    return;
  }
  if (tls) {
    e->poolTLSSocket(req->getHost(), peer.addr, peer.port, "", 0, socket, timeout);
  } else {
    e->poolSocket(peer.addr, peer.port, "", 0, socket, timeout);
  }
}

}  // namespace quarn

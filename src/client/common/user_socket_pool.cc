#include "client/common/user_socket_pool.h"

#include "engine/DownloadEngine.h"
#include "foundation/Exception.h"
#include "foundation/LogMacros.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {

void poolUserSocket(DownloadEngine* e, const std::shared_ptr<Request>& req, const std::string& user,
                    const std::shared_ptr<Request>& proxyRequest,
                    const std::shared_ptr<SocketCore>& socket, const std::string& options,
                    std::chrono::seconds timeout) {
  if (!socket || !socket->isOpen()) {
    return;
  }
  if (proxyRequest) {
    e->poolSocket(req->getHost(), req->getPort(), user, proxyRequest->getHost(),
                  proxyRequest->getPort(), socket, options, timeout);
    return;
  }
  Endpoint peer;
  try {
    peer = socket->getPeerInfo();
  } catch (const Exception&) {
    QLOG_INFO("Getting peer info failed. Pooling socket canceled.");
    return;
  }
  e->poolSocket(peer.addr, peer.port, user, "", 0, socket, options, timeout);
}

}  // namespace quarn

#pragma once

#include <chrono>
#include <memory>

namespace quarn {

class DownloadEngine;
class Request;
class SocketCore;

// Keeps an idle connection of a request in the engine's pool. Through a proxy
// the key is the target host and port with the proxy; directly it is the
// socket's peer. A TLS connection is keyed by the host its certificate was
// checked for as well, so it is reused only for that host.
void poolRequestSocket(DownloadEngine* e, const std::shared_ptr<Request>& req,
                       const std::shared_ptr<Request>& proxyRequest,
                       const std::shared_ptr<SocketCore>& socket,
                       std::chrono::seconds timeout = std::chrono::seconds(15));

}  // namespace quarn

#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace quarn {

class DownloadEngine;
class Request;
class SocketCore;

// Keeps a logged-in FTP or SSH connection in the engine's pool under the
// user it is logged in as, with a text kept beside it (the FTP base working
// directory). Through a proxy the key is the target host and port with the
// proxy; directly it is the socket's peer.
void poolUserSocket(DownloadEngine* e, const std::shared_ptr<Request>& req, const std::string& user,
                    const std::shared_ptr<Request>& proxyRequest,
                    const std::shared_ptr<SocketCore>& socket, const std::string& options,
                    std::chrono::seconds timeout = std::chrono::seconds(15));

}  // namespace quarn

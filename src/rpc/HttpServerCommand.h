#pragma once

#include <memory>

#include "rpc/AbstractHttpServerReadCommand.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

// Reads and checks one request head of a control connection, then hands the
// connection to the body command, the WebSocket upgrade or an error answer.
class HttpServerCommand : public AbstractHttpServerReadCommand {
 public:
  // A fresh connection.
  HttpServerCommand(cuid_t cuid, DownloadEngine* e, const std::shared_ptr<SocketCore>& socket,
                    bool secure);
  // The next request on a kept connection.
  HttpServerCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
                    const std::shared_ptr<SocketCore>& socket);

 protected:
  bool step() override;
  const char* timeoutMessage() const override { return "HTTP request timeout."; }
  const char* errorMessage() const override { return "Error occurred while reading HTTP request"; }

 private:
  // Feeds an answer without body and starts sending it.
  void answer(int status, const std::string& headers);
  void upgradeToWebSocket();
};

// The Sec-WebSocket-Accept value for a Sec-WebSocket-Key.
std::string createWebSocketAcceptKey(const std::string& key);

// The status of a WebSocket handshake request: 101 to accept, else the error.
int checkWebSocketHandshake(const std::string& method, const std::string& key,
                            const std::string& version, const std::string& target);

}  // namespace rpc
}  // namespace quarn

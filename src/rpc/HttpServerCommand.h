#pragma once

#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class HttpServer;

// Reads and checks one request head of a control connection, then hands the
// connection to the body command, the WebSocket upgrade or an error answer.
class HttpServerCommand : public Command {
 public:
  // A fresh connection.
  HttpServerCommand(cuid_t cuid, DownloadEngine* e, const std::shared_ptr<SocketCore>& socket,
                    bool secure);
  // The next request on a kept connection.
  HttpServerCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
                    const std::shared_ptr<SocketCore>& socket);
  ~HttpServerCommand() override;

  bool execute() override;

 private:
  void checkPendingInput();
  void updateWriteCheck();
  // Feeds an answer without body and starts sending it.
  void answer(int status, const std::string& headers);
  void upgradeToWebSocket();

  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<HttpServer> httpServer_;
  Timer timeoutTimer_;
  bool writeCheck_;
};

// The Sec-WebSocket-Accept value for a Sec-WebSocket-Key.
std::string createWebSocketAcceptKey(const std::string& key);

// The status of a WebSocket handshake request: 101 to accept, else the error.
int checkWebSocketHandshake(const std::string& method, const std::string& key,
                            const std::string& version, const std::string& target);

}  // namespace rpc
}  // namespace quarn

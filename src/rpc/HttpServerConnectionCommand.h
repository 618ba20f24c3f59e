#pragma once

#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class HttpServer;

// What every command serving one control connection holds: the engine, the
// socket, its HttpServer, and the time of the last progress. Each command
// gives up on a connection after 30 seconds without progress, and drops the
// readiness checks it still holds when it ends.
class HttpServerConnectionCommand : public Command {
 public:
  HttpServerConnectionCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                              DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~HttpServerConnectionCommand() override;

 protected:
  DownloadEngine* getDownloadEngine() const { return e_; }
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  const std::shared_ptr<HttpServer>& getHttpServer() const { return httpServer_; }

  void madeProgress();
  bool timedOut() const;
  // Keeps the read and write checks registered exactly while wanted.
  void setReadCheck(bool want);
  void setWriteCheck(bool want);
  bool writeCheckRegistered() const { return writeCheck_; }

 private:
  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<HttpServer> httpServer_;
  Timer timeoutTimer_;
  bool readCheck_;
  bool writeCheck_;
};

}  // namespace rpc
}  // namespace quarn

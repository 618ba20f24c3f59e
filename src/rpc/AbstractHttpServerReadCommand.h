#pragma once

#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class HttpServer;

// The reading side of a control connection: runs a step whenever the socket
// (or input already buffered) has something, ends the connection after 30
// seconds without progress or on a read error.
class AbstractHttpServerReadCommand : public Command {
 public:
  AbstractHttpServerReadCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~AbstractHttpServerReadCommand() override;

  bool execute() final;

 protected:
  // One step of reading; true when the command is finished (it has handed
  // the connection on, or dropped it), false to wait for more input.
  virtual bool step() = 0;
  // Whether a step is due even without input.
  virtual bool readyWithoutInput() const { return false; }
  virtual const char* timeoutMessage() const = 0;
  virtual const char* errorMessage() const = 0;

  // Polls the socket for input already buffered inside: run on the next pass.
  void checkPendingInput();

  DownloadEngine* getDownloadEngine() const { return e_; }
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  const std::shared_ptr<HttpServer>& getHttpServer() const { return httpServer_; }

 private:
  void updateWriteCheck();

  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<HttpServer> httpServer_;
  Timer timeoutTimer_;
  bool writeCheck_;
};

}  // namespace rpc
}  // namespace quarn

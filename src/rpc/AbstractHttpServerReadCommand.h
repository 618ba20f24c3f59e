#pragma once

#include "rpc/HttpServerConnectionCommand.h"

namespace quarn {
namespace rpc {

// The reading side of a control connection: runs a step whenever the socket
// (or input already buffered) has something, ends the connection after 30
// seconds without progress or on a read error.
class AbstractHttpServerReadCommand : public HttpServerConnectionCommand {
 public:
  AbstractHttpServerReadCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);

  bool execute() final;

 protected:
  // One step of reading; true when the command is finished (it has handed
  // the connection on, or dropped it), false to wait for more input.
  virtual bool step() = 0;
  // Whether a step is due even without input.
  virtual bool readyWithoutInput() const { return false; }
  virtual const char* timeoutMessage() const = 0;
  virtual const char* errorMessage() const = 0;

  // Input already buffered (here or inside TLS) is read on the next pass.
  void checkPendingInput();
};

}  // namespace rpc
}  // namespace quarn

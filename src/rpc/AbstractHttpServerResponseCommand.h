#pragma once

#include "rpc/HttpServerConnectionCommand.h"

namespace quarn {
namespace rpc {

// Flushes a queued answer, then lets the subclass decide what follows.
class AbstractHttpServerResponseCommand : public HttpServerConnectionCommand {
 public:
  AbstractHttpServerResponseCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                    DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);

  bool execute() override;

 protected:
  virtual void afterSend(const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e) = 0;
};

}  // namespace rpc
}  // namespace quarn

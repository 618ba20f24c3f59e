#pragma once

#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class HttpServer;

// Flushes a queued answer, then lets the subclass decide what follows.
class AbstractHttpServerResponseCommand : public Command {
 public:
  AbstractHttpServerResponseCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                    DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~AbstractHttpServerResponseCommand() override;

  bool execute() override;

 protected:
  virtual void afterSend(const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e) = 0;
  DownloadEngine* getDownloadEngine() const { return e_; }

 private:
  void updateReadWriteCheck();

  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<HttpServer> httpServer_;
  Timer timeoutTimer_;
  bool readCheck_;
  bool writeCheck_;
};

}  // namespace rpc
}  // namespace quarn

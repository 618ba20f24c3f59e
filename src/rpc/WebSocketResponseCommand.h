#pragma once

#include "rpc/AbstractHttpServerResponseCommand.h"

namespace quarn {
namespace rpc {

// Sends the 101 answer of a WebSocket upgrade, then opens the session.
class WebSocketResponseCommand : public AbstractHttpServerResponseCommand {
 public:
  using AbstractHttpServerResponseCommand::AbstractHttpServerResponseCommand;

 protected:
  void afterSend(const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e) override;
};

}  // namespace rpc
}  // namespace quarn

#pragma once

#include "rpc/AbstractHttpServerResponseCommand.h"

namespace quarn {
namespace rpc {

// Sends an answer, then serves the next request of a kept connection.
class HttpServerResponseCommand : public AbstractHttpServerResponseCommand {
 public:
  using AbstractHttpServerResponseCommand::AbstractHttpServerResponseCommand;

 protected:
  void afterSend(const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e) override;
};

}  // namespace rpc
}  // namespace quarn

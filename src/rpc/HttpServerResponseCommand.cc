#include "rpc/HttpServerResponseCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "rpc/HttpServer.h"
#include "rpc/HttpServerCommand.h"

namespace quarn {
namespace rpc {

void HttpServerResponseCommand::afterSend(const std::shared_ptr<HttpServer>& httpServer,
                                          DownloadEngine* e) {
  if (!httpServer->supportsPersistentConnection()) {
    return;
  }
  QLOG_INFO(fmt("CUID#%lld - Persist connection.", static_cast<long long>(getCuid())));
  e->addCommand(
      std::make_unique<HttpServerCommand>(getCuid(), httpServer, e, httpServer->getSocket()));
}

}  // namespace rpc
}  // namespace quarn

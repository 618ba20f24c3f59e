#include "rpc/WebSocketResponseCommand.h"

#include "engine/DownloadEngine.h"
#include "rpc/HttpServer.h"
#include "rpc/WebSocketInteractionCommand.h"
#include "rpc/WebSocketSession.h"

namespace quarn {
namespace rpc {

void WebSocketResponseCommand::afterSend(const std::shared_ptr<HttpServer>& httpServer,
                                         DownloadEngine* e) {
  auto session = std::make_shared<WebSocketSession>(httpServer->getSocket(), e);
  auto command =
      std::make_unique<WebSocketInteractionCommand>(getCuid(), session, e, httpServer->getSocket());
  session->setCommand(command.get());
  e->addCommand(std::move(command));
  e->setNoWait(true);
}

}  // namespace rpc
}  // namespace quarn

#include "rpc/WebSocketInteractionCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "rpc/WebSocketSession.h"
#include "rpc/WebSocketSessionMan.h"
#include "rpc/socket_check.h"

namespace quarn {
namespace rpc {

WebSocketInteractionCommand::WebSocketInteractionCommand(
    cuid_t cuid, const std::shared_ptr<WebSocketSession>& session, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : Command(cuid), e_(e), socket_(socket), session_(session), writeCheck_(false) {
  if (auto* man = WebSocketSessionMan::of(e_)) {
    man->addSession(session_);
  }
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
}

WebSocketInteractionCommand::~WebSocketInteractionCommand() {
  e_->deleteSocketForReadCheck(socket_->getSockfd(), this);
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::WRITE, false, writeCheck_);
  session_->setCommand(nullptr);
  if (auto* man = WebSocketSessionMan::of(e_)) {
    man->removeSession(session_);
  }
}

void WebSocketInteractionCommand::updateWriteCheck() {
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::WRITE,
                    socket_->wantWrite() || session_->wantWrite(), writeCheck_);
}

bool WebSocketInteractionCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  if (session_->onReadEvent() == -1 || session_->onWriteEvent() == -1) {
    if (session_->closeSent() || session_->closeReceived()) {
      QLOG_INFO(
          fmt("CUID#%lld - WebSocket session terminated.", static_cast<long long>(getCuid())));
    } else {
      QLOG_INFO(fmt("CUID#%lld - WebSocket session terminated (Possibly due to EOF).",
                    static_cast<long long>(getCuid())));
    }
    return true;
  }
  if (session_->finish()) {
    return true;
  }
  updateWriteCheck();
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace rpc
}  // namespace quarn

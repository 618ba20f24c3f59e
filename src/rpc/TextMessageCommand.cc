#include "rpc/TextMessageCommand.h"

#include "rpc/WebSocketInteractionCommand.h"
#include "rpc/WebSocketSession.h"

namespace quarn {
namespace rpc {

TextMessageCommand::TextMessageCommand(cuid_t cuid, std::shared_ptr<WebSocketSession> session,
                                       std::string text)
    : Command(cuid), session_(std::move(session)), text_(std::move(text)) {}

bool TextMessageCommand::execute() {
  session_->addTextMessage(text_, false);
  // The session may have ended meanwhile; then nobody polls it any more.
  if (auto* command = session_->getCommand()) {
    command->updateWriteCheck();
  }
  return true;
}

}  // namespace rpc
}  // namespace quarn

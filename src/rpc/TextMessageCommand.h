#pragma once

#include <memory>
#include <string>

#include "engine/Command.h"

namespace quarn {
namespace rpc {

class WebSocketSession;

// Queues one text message on a session when it runs (after a delay).
class TextMessageCommand : public Command {
 public:
  TextMessageCommand(cuid_t cuid, std::shared_ptr<WebSocketSession> session, std::string text);

  bool execute() override;

 private:
  std::shared_ptr<WebSocketSession> session_;
  std::string text_;
};

}  // namespace rpc
}  // namespace quarn

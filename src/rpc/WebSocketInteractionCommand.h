#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class WebSocketSession;

// Drives one WebSocket session from the event loop for as long as it is open.
class WebSocketInteractionCommand : public Command {
 public:
  WebSocketInteractionCommand(cuid_t cuid, const std::shared_ptr<WebSocketSession>& session,
                              DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~WebSocketInteractionCommand() override;

  bool execute() override;
  // Polls for writing exactly while the socket or the session has output.
  void updateWriteCheck();

 private:
  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<WebSocketSession> session_;
  bool writeCheck_;
};

}  // namespace rpc
}  // namespace quarn

#pragma once

#include <memory>
#include <set>
#include <string>

#include "engine/DownloadEventListener.h"
#include "engine/EngineService.h"

namespace quarn {

class DownloadEngine;

namespace rpc {

class WebSocketSession;

// The open WebSocket sessions; tells each of them about every download event.
// The engine keeps it as a service while the control server runs.
class WebSocketSessionMan : public DownloadEventListener, public EngineService {
 public:
  void addSession(const std::shared_ptr<WebSocketSession>& session);
  void removeSession(const std::shared_ptr<WebSocketSession>& session);
  void addNotification(const std::string& method, const RequestGroup* group);
  void onEvent(DownloadEvent event, const RequestGroup* group) override;

  size_t countSessions() const { return sessions_.size(); }

  // The engine's session manager, or null when the control server is off.
  static WebSocketSessionMan* of(DownloadEngine* e);

 private:
  std::set<std::shared_ptr<WebSocketSession>> sessions_;
};

// {"jsonrpc":"2.0","method":method,"params":[{"gid":gid}]}
std::string createNotification(const std::string& method, const std::string& gidHex);

}  // namespace rpc
}  // namespace quarn

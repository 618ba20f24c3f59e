#include "rpc/WebSocketSessionMan.h"

#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/List.h"
#include "foundation/LogMacros.h"
#include "foundation/json.h"
#include "rpc/RpcMethodFactory.h"
#include "rpc/WebSocketInteractionCommand.h"
#include "rpc/WebSocketSession.h"

namespace quarn {
namespace rpc {

std::string createNotification(const std::string& method, const std::string& gidHex) {
  auto dict = Dict::g();
  dict->put("jsonrpc", "2.0");
  dict->put("method", method);
  auto eventSpec = Dict::g();
  eventSpec->put("gid", gidHex);
  auto params = List::g();
  params->append(std::move(eventSpec));
  dict->put("params", std::move(params));
  return json::encode(dict.get());
}

void WebSocketSessionMan::addSession(const std::shared_ptr<WebSocketSession>& session) {
  QLOG_DEBUG("WebSocket session added.");
  sessions_.insert(session);
}

void WebSocketSessionMan::removeSession(const std::shared_ptr<WebSocketSession>& session) {
  QLOG_DEBUG("WebSocket session removed.");
  sessions_.erase(session);
}

void WebSocketSessionMan::addNotification(const std::string& method, const RequestGroup* group) {
  std::string text = createNotification(method, group->getGroupId()->toHex());
  for (const auto& session : sessions_) {
    session->addTextMessage(text, false);
    if (auto* command = session->getCommand()) {
      command->updateWriteCheck();
    }
  }
}

void WebSocketSessionMan::onEvent(DownloadEvent event, const RequestGroup* group) {
  const auto& names = allNotificationsNames();
  auto index = static_cast<size_t>(event) - 1;
  if (index < names.size()) {
    addNotification(names[index], group);
  }
}

WebSocketSessionMan* WebSocketSessionMan::of(DownloadEngine* e) {
  return e->getService<WebSocketSessionMan>();
}

}  // namespace rpc
}  // namespace quarn

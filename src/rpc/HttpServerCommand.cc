#include "rpc/HttpServerCommand.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/base64.h"
#include "foundation/fmt.h"
#include "net/HttpHeader.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"
#include "rpc/HttpServerBodyCommand.h"
#include "rpc/HttpServerResponseCommand.h"
#include "rpc/WebSocketResponseCommand.h"
#include "rpc/origin_check.h"

namespace quarn {
namespace rpc {

namespace {

const char WEBSOCKET_GUID[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

}  // namespace

std::string createWebSocketAcceptKey(const std::string& key) {
  auto sha1 = MessageDigest::sha1();
  std::string text = key + WEBSOCKET_GUID;
  sha1->update(text.data(), text.size());
  std::string digest = sha1->digest();
  return base64::encode(digest.begin(), digest.end());
}

int checkWebSocketHandshake(const std::string& method, const std::string& key,
                            const std::string& version, const std::string& target) {
  if (method != "GET" || key.empty()) {
    return 400;
  }
  if (version != "13") {
    return 426;
  }
  if (target != "/jsonrpc") {
    return 404;
  }
  return 101;
}

HttpServerCommand::HttpServerCommand(cuid_t cuid, DownloadEngine* e,
                                     const std::shared_ptr<SocketCore>& socket, bool secure)
    : AbstractHttpServerReadCommand(cuid, std::make_shared<HttpServer>(socket), e, socket) {
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  const auto& httpServer = getHttpServer();
  httpServer->setSecure(secure);
  const Option* option = e->getOption();
  httpServer->setUsernamePassword(option->get(PREF_RPC_USER), option->get(PREF_RPC_PASSWD));
  if (option->getAsBool(PREF_RPC_ALLOW_ORIGIN_ALL)) {
    httpServer->setAllowOrigin("*");
  }
  httpServer->enableGZip();
  checkPendingInput();
}

HttpServerCommand::HttpServerCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                     DownloadEngine* e, const std::shared_ptr<SocketCore>& socket)
    : AbstractHttpServerReadCommand(cuid, httpServer, e, socket) {
  checkPendingInput();
}

void HttpServerCommand::answer(int status, const std::string& headers) {
  DownloadEngine* e = getDownloadEngine();
  getHttpServer()->feedResponse(status, headers, "", "");
  e->addCommand(
      std::make_unique<HttpServerResponseCommand>(getCuid(), getHttpServer(), e, getSocket()));
  e->setNoWait(true);
}

void HttpServerCommand::upgradeToWebSocket() {
  const auto& httpServer = getHttpServer();
  DownloadEngine* e = getDownloadEngine();
  const HttpHeader* header = httpServer->getLastRequestHeader();
  int status = checkWebSocketHandshake(
      httpServer->getMethod(), header->find(HttpHeader::SEC_WEBSOCKET_KEY),
      header->find(HttpHeader::SEC_WEBSOCKET_VERSION), httpServer->getRequestPath());
  if (status == 101) {
    std::string key = createWebSocketAcceptKey(header->find(HttpHeader::SEC_WEBSOCKET_KEY));
    httpServer->feedUpgradeResponse("websocket", "Sec-WebSocket-Accept: " + key + "\r\n");
    e->addCommand(
        std::make_unique<WebSocketResponseCommand>(getCuid(), httpServer, e, getSocket()));
    e->setNoWait(true);
  } else if (status == 426) {
    answer(426, "Sec-WebSocket-Version: 13\r\n");
  } else {
    answer(status, "");
  }
}

bool HttpServerCommand::step() {
  const auto& httpServer = getHttpServer();
  DownloadEngine* e = getDownloadEngine();
  if (httpServer->getSecure() && !getSocket()->tlsAccept()) {
    return false;
  }
  if (!httpServer->receiveRequest()) {
    return false;
  }
  const HttpHeader* header = httpServer->getLastRequestHeader();
  if (!httpServer->authenticate() && httpServer->getMethod() != "OPTIONS") {
    httpServer->disableKeepAlive();
    answer(401, "WWW-Authenticate: Basic realm=\"quarn\"\r\n");
    return true;
  }
  if (isRefusedCrossOrigin(*header, *e->getOption())) {
    QLOG_INFO(fmt("CUID#%lld - Refused a request from origin %s", static_cast<long long>(getCuid()),
                  header->find(HttpHeader::ORIGIN).c_str()));
    httpServer->disableKeepAlive();
    answer(403, "");
    return true;
  }
  if (header->fieldContains(HttpHeader::UPGRADE, "websocket") &&
      header->fieldContains(HttpHeader::CONNECTION, "upgrade")) {
    upgradeToWebSocket();
    return true;
  }
  if (httpServer->getContentLength() > e->getOption()->getAsLLInt(PREF_RPC_MAX_REQUEST_SIZE)) {
    QLOG_INFO(
        fmt("Request too long. ContentLength=%lld. See --rpc-max-request-size option to "
            "loose this limitation.",
            static_cast<long long>(httpServer->getContentLength())));
    return true;
  }
  e->addCommand(std::make_unique<HttpServerBodyCommand>(getCuid(), httpServer, e, getSocket()));
  e->setNoWait(true);
  return true;
}

}  // namespace rpc
}  // namespace quarn

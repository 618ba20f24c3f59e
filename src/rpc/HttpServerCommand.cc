#include "rpc/HttpServerCommand.h"

#include "client/HttpHeader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/RecoverableException.h"
#include "foundation/base64.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"
#include "rpc/HttpServerBodyCommand.h"
#include "rpc/HttpServerResponseCommand.h"
#include "rpc/WebSocketResponseCommand.h"
#include "rpc/origin_check.h"

namespace quarn {
namespace rpc {

namespace {

constexpr std::chrono::seconds TIMEOUT(30);
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
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(std::make_shared<HttpServer>(socket)),
      timeoutTimer_(global::wallclock()),
      writeCheck_(false) {
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
  httpServer_->setSecure(secure);
  const Option* option = e_->getOption();
  httpServer_->setUsernamePassword(option->get(PREF_RPC_USER), option->get(PREF_RPC_PASSWD));
  if (option->getAsBool(PREF_RPC_ALLOW_ORIGIN_ALL)) {
    httpServer_->setAllowOrigin("*");
  }
  httpServer_->enableGZip();
  checkPendingInput();
}

HttpServerCommand::HttpServerCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                                     DownloadEngine* e, const std::shared_ptr<SocketCore>& socket)
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(httpServer),
      timeoutTimer_(global::wallclock()),
      writeCheck_(false) {
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
  checkPendingInput();
}

HttpServerCommand::~HttpServerCommand() {
  e_->deleteSocketForReadCheck(socket_->getSockfd(), this);
  if (writeCheck_) {
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

void HttpServerCommand::checkPendingInput() {
  if (httpServer_->hasPendingInput()) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
  }
}

void HttpServerCommand::updateWriteCheck() {
  if (httpServer_->wantWrite()) {
    if (!writeCheck_) {
      writeCheck_ = true;
      e_->addSocketForWriteCheck(socket_->getSockfd(), this);
    }
  } else if (writeCheck_) {
    writeCheck_ = false;
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

void HttpServerCommand::answer(int status, const std::string& headers) {
  httpServer_->feedResponse(status, headers, "", "");
  e_->addCommand(std::make_unique<HttpServerResponseCommand>(getCuid(), httpServer_, e_, socket_));
  e_->setNoWait(true);
}

void HttpServerCommand::upgradeToWebSocket() {
  const HttpHeader* header = httpServer_->getLastRequestHeader();
  int status = checkWebSocketHandshake(
      httpServer_->getMethod(), header->find(HttpHeader::SEC_WEBSOCKET_KEY),
      header->find(HttpHeader::SEC_WEBSOCKET_VERSION), httpServer_->getRequestPath());
  if (status == 101) {
    std::string key = createWebSocketAcceptKey(header->find(HttpHeader::SEC_WEBSOCKET_KEY));
    httpServer_->feedUpgradeResponse("websocket", "Sec-WebSocket-Accept: " + key + "\r\n");
    e_->addCommand(std::make_unique<WebSocketResponseCommand>(getCuid(), httpServer_, e_, socket_));
    e_->setNoWait(true);
  } else if (status == 426) {
    answer(426, "Sec-WebSocket-Version: 13\r\n");
  } else {
    answer(status, "");
  }
}

bool HttpServerCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  try {
    if (socket_->isReadable(0) || (writeCheck_ && socket_->isWritable(0)) ||
        httpServer_->hasPendingInput()) {
      timeoutTimer_ = global::wallclock();
      if (httpServer_->getSecure() && !socket_->tlsAccept()) {
        updateWriteCheck();
        e_->addCommand(std::unique_ptr<Command>(this));
        return false;
      }
      if (!httpServer_->receiveRequest()) {
        updateWriteCheck();
        e_->addCommand(std::unique_ptr<Command>(this));
        return false;
      }
      const HttpHeader* header = httpServer_->getLastRequestHeader();
      if (!httpServer_->authenticate() && httpServer_->getMethod() != "OPTIONS") {
        httpServer_->disableKeepAlive();
        answer(401, "WWW-Authenticate: Basic realm=\"quarn\"\r\n");
        return true;
      }
      if (isRefusedCrossOrigin(*header, *e_->getOption())) {
        QLOG_INFO(fmt("CUID#%lld - Refused a request from origin %s",
                      static_cast<long long>(getCuid()), header->find(HttpHeader::ORIGIN).c_str()));
        httpServer_->disableKeepAlive();
        answer(403, "");
        return true;
      }
      if (header->fieldContains(HttpHeader::UPGRADE, "websocket") &&
          header->fieldContains(HttpHeader::CONNECTION, "upgrade")) {
        upgradeToWebSocket();
        return true;
      }
      if (httpServer_->getContentLength() >
          e_->getOption()->getAsLLInt(PREF_RPC_MAX_REQUEST_SIZE)) {
        QLOG_INFO(
            fmt("Request too long. ContentLength=%lld. See --rpc-max-request-size option to "
                "loose this limitation.",
                static_cast<long long>(httpServer_->getContentLength())));
        return true;
      }
      e_->addCommand(std::make_unique<HttpServerBodyCommand>(getCuid(), httpServer_, e_, socket_));
      e_->setNoWait(true);
      return true;
    }
    if (timeoutTimer_.difference(global::wallclock()) >= TIMEOUT) {
      QLOG_INFO("HTTP request timeout.");
      return true;
    }
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - Error occurred while reading HTTP request",
                     static_cast<long long>(getCuid())),
                 ex);
    return true;
  }
}

}  // namespace rpc
}  // namespace quarn

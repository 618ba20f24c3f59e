#include "client/http/AbstractProxyRequestCommand.h"

#include "client/http/HttpConnection.h"
#include "client/http/HttpRequest.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"

namespace quarn {

AbstractProxyRequestCommand::AbstractProxyRequestCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                                         std::shared_ptr<FileEntry> fileEntry,
                                                         RequestGroup* requestGroup,
                                                         DownloadEngine* e,
                                                         std::shared_ptr<Request> proxyRequest,
                                                         std::shared_ptr<SocketCore> s)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, s),
      proxyRequest_(std::move(proxyRequest)),
      httpConnection_(std::make_shared<HttpConnection>(
          cuid, getSocket(), std::make_shared<SocketRecvBuffer>(getSocket()))) {
  setTimeout(getOption()->getAsInt(PREF_CONNECT_TIMEOUT));
  disableReadCheckSocket();
  setWriteCheckSocket(getSocket());
}

AbstractProxyRequestCommand::~AbstractProxyRequestCommand() = default;

bool AbstractProxyRequestCommand::executeInternal() {
  if (httpConnection_->sendBufferIsEmpty()) {
    auto httpRequest = std::make_unique<HttpRequest>();
    httpRequest->setUserAgent(getOption()->get(PREF_USER_AGENT));
    httpRequest->setRequest(getRequest());
    httpRequest->setProxyRequest(proxyRequest_);
    httpConnection_->sendProxyRequest(std::move(httpRequest));
  } else {
    httpConnection_->sendPendingData();
  }
  if (httpConnection_->sendBufferIsEmpty()) {
    getDownloadEngine()->addCommand(getNextCommand());
    return true;
  }
  setWriteCheckSocket(getSocket());
  addCommandSelf();
  return false;
}

}  // namespace quarn

#include "client/http/HttpRequestCommand.h"

#include <algorithm>

#include "client/auth/AuthConfigFactory.h"
#include "client/cookie/CookieStorage.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequest.h"
#include "client/http/HttpResponseCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/File.h"
#include "foundation/Time.h"
#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "net/SocketCore.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"

namespace quarn {

HttpRequestCommand::HttpRequestCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                       std::shared_ptr<FileEntry> fileEntry,
                                       RequestGroup* requestGroup,
                                       std::shared_ptr<HttpConnection> httpConnection,
                                       DownloadEngine* e, std::shared_ptr<SocketCore> socket)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, socket,
                      httpConnection->getSocketRecvBuffer()),
      httpConnection_(std::move(httpConnection)) {
  setTimeout(getOption()->getAsInt(PREF_CONNECT_TIMEOUT));
  disableReadCheckSocket();
  setWriteCheckSocket(getSocket());
}

HttpRequestCommand::~HttpRequestCommand() = default;

int64_t HttpRequestCommand::getEndOffset(const std::shared_ptr<Segment>& segment) const {
  if (getRequest()->getProtocol() == "ftp" || getRequestGroup()->getTotalLength() <= 0 ||
      !getPieceStorage()) {
    return 0;
  }
  size_t nextIndex = getPieceStorage()->getNextUsedIndex(segment->getIndex());
  int64_t end =
      getFileEntry()->gtoloff(static_cast<int64_t>(nextIndex) * segment->getSegmentLength());
  return std::min(getFileEntry()->getLength(), end);
}

std::unique_ptr<HttpRequest> HttpRequestCommand::createHttpRequest(
    const std::shared_ptr<Segment>& segment, int64_t endOffset) const {
  const auto& option = getOption();
  auto httpRequest = std::make_unique<HttpRequest>();
  httpRequest->setUserAgent(option->get(PREF_USER_AGENT));
  httpRequest->setRequest(getRequest());
  httpRequest->setFileEntry(getFileEntry());
  httpRequest->setSegment(segment);
  httpRequest->addHeader(option->get(PREF_HEADER));
  httpRequest->setCookieStorage(cookieStorage(getDownloadEngine()));
  httpRequest->setAuthConfigFactory(authConfigFactory(getDownloadEngine()));
  httpRequest->setOption(option.get());
  httpRequest->setProxyRequest(proxyRequest_);
  httpRequest->setAcceptMetalink(getDownloadContext()->getAcceptMetalink());
  httpRequest->setNoWantDigest(option->getAsBool(PREF_NO_WANT_DIGEST_HEADER));
  httpRequest->setAcceptGzip(option->getAsBool(PREF_HTTP_ACCEPT_GZIP));
  httpRequest->setNoCache(option->getAsBool(PREF_HTTP_NO_CACHE));
  if (endOffset > 0) {
    httpRequest->setEndOffsetOverride(endOffset);
  }
  return httpRequest;
}

void HttpRequestCommand::setIfModifiedSince(HttpRequest& httpRequest) const {
  const auto& req = getRequest();
  if (!getOption()->getAsBool(PREF_CONDITIONAL_GET) ||
      (req->getProtocol() != "http" && req->getProtocol() != "https")) {
    return;
  }
  std::string path;
  if (getFileEntry()->getPath().empty()) {
    std::string name = req->getFile().empty()
                           ? Request::DEFAULT_FILE
                           : util::percentDecode(req->getFile().begin(), req->getFile().end());
    path = util::createSafePath(getOption()->get(PREF_DIR), name);
  } else {
    path = getFileEntry()->getPath();
  }
  File file(path);
  File controlFile(path + DefaultBtProgressInfoFile::getSuffix());
  if (!controlFile.exists() && file.exists()) {
    httpRequest.setIfModifiedSinceHeader(file.getModifiedTime().toHTTPDate());
  }
}

bool HttpRequestCommand::executeInternal() {
  if (httpConnection_->sendBufferIsEmpty()) {
    if (getRequest()->getProtocol() == "https" &&
        !getSocket()->tlsConnect(getRequest()->getHost())) {
      setReadCheckSocketIf(getSocket(), getSocket()->wantRead());
      setWriteCheckSocketIf(getSocket(), getSocket()->wantWrite());
      addCommandSelf();
      return false;
    }
    if (getSegments().empty()) {
      auto httpRequest = createHttpRequest(nullptr, 0);
      setIfModifiedSince(*httpRequest);
      httpConnection_->sendRequest(std::move(httpRequest));
    } else {
      for (const auto& segment : getSegments()) {
        if (httpConnection_->isIssued(segment)) {
          continue;
        }
        httpConnection_->sendRequest(createHttpRequest(segment, getEndOffset(segment)));
      }
    }
  } else {
    httpConnection_->sendPendingData();
  }
  if (!httpConnection_->sendBufferIsEmpty()) {
    setReadCheckSocketIf(getSocket(), getSocket()->wantRead());
    setWriteCheckSocketIf(getSocket(), getSocket()->wantWrite());
    addCommandSelf();
    return false;
  }
  getDownloadEngine()->addCommand(std::make_unique<HttpResponseCommand>(
      getCuid(), getRequest(), getFileEntry(), getRequestGroup(), httpConnection_,
      getDownloadEngine(), getSocket()));
  return true;
}

}  // namespace quarn

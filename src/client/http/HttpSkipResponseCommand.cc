#include "client/http/HttpSkipResponseCommand.h"

#include <algorithm>

#include "client/auth/AuthConfigFactory.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequest.h"
#include "client/http/HttpResponse.h"

#include "client/common/socket_pool.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "net/HttpHeader.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/NullSinkStreamFilter.h"
#include "storage/Request.h"
#include "storage/SinkStreamFilter.h"

namespace quarn {

namespace {

constexpr int32_t MAX_REDIRECTS = 20;

}  // namespace

HttpSkipResponseCommand::HttpSkipResponseCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                                 std::shared_ptr<FileEntry> fileEntry,
                                                 RequestGroup* requestGroup,
                                                 std::shared_ptr<HttpConnection> httpConnection,
                                                 std::unique_ptr<HttpResponse> httpResponse,
                                                 DownloadEngine* e, std::shared_ptr<SocketCore> s)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, std::move(s),
                      httpConnection->getSocketRecvBuffer()),
      sinkFilterOnly_(true),
      totalLength_(httpResponse->getEntityLength()),
      receivedBytes_(0),
      httpConnection_(std::move(httpConnection)),
      httpResponse_(std::move(httpResponse)),
      streamFilter_(std::make_unique<NullSinkStreamFilter>()) {
  checkSocketRecvBuffer();
}

HttpSkipResponseCommand::~HttpSkipResponseCommand() = default;

void HttpSkipResponseCommand::installStreamFilter(std::unique_ptr<StreamFilter> filter) {
  if (!filter) {
    return;
  }
  filter->installDelegate(std::move(streamFilter_));
  streamFilter_ = std::move(filter);
  sinkFilterOnly_ = util::endsWith(streamFilter_->getName(), SinkStreamFilter::NAME);
}

void HttpSkipResponseCommand::disableSocketCheck() {
  disableReadCheckSocket();
  disableWriteCheckSocket();
}

void HttpSkipResponseCommand::poolConnection() const {
  if (getRequest()->isPersistentConnection()) {
    poolRequestSocket(getDownloadEngine(), getRequest(), createProxyRequest(), getSocket());
  }
}

bool HttpSkipResponseCommand::executeInternal() {
  if (getRequest()->getMethod() == Request::METHOD_HEAD) {
    poolConnection();
    return processResponse();
  }
  if (totalLength_ == 0 && sinkFilterOnly_) {
    if (httpResponse_->getHttpHeader()->defined(HttpHeader::CONTENT_LENGTH)) {
      poolConnection();
    }
    return processResponse();
  }
  const auto& buffer = getSocketRecvBuffer();
  try {
    if (buffer->bufferEmpty() && buffer->recv() == 0 && !getSocket()->wantRead() &&
        !getSocket()->wantWrite()) {
      if (totalLength_ == 0) {
        return processResponse();
      }
      throw DL_RETRY_EX(_("Got EOF from the server."));
    }
    size_t consumed;
    if (sinkFilterOnly_) {
      consumed = static_cast<size_t>(std::min<int64_t>(
          static_cast<int64_t>(buffer->getBufferLength()), totalLength_ - receivedBytes_));
      receivedBytes_ += static_cast<int64_t>(consumed);
    } else {
      streamFilter_->transform(nullptr, nullptr, buffer->getBuffer(), buffer->getBufferLength());
      consumed = streamFilter_->getBytesProcessed();
    }
    buffer->drain(consumed);
    bool finished = sinkFilterOnly_ ? receivedBytes_ == totalLength_ : streamFilter_->finished();
    if (!finished) {
      setWriteCheckSocketIf(getSocket(), getSocket()->wantWrite());
      addCommandSelf();
      return false;
    }
    if (getSegments().size() <= 1) {
      poolConnection();
    }
    return processResponse();
  } catch (const RecoverableException& e) {
    QLOG_DEBUG_EX(_("Exception caught"), e);
    return processResponse();
  }
}

bool HttpSkipResponseCommand::processResponse() {
  const auto& req = getRequest();
  if (httpResponse_->isRedirect()) {
    if (req->getRedirectCount() >= MAX_REDIRECTS) {
      throw DL_ABORT_EX(
          fmt("Too many redirects: count=%u", static_cast<unsigned>(req->getRedirectCount())),
          error_code::HTTP_TOO_MANY_REDIRECTS);
    }
    httpResponse_->processRedirect();
    return prepareForRetry(0);
  }
  int status = httpResponse_->getStatusCode();
  std::string message = fmt(_("The response status is not successful. status=%d"), status);
  const auto& option = getOption();
  if (status == 401) {
    if (option->getAsBool(PREF_HTTP_AUTH_CHALLENGE) &&
        !httpResponse_->getHttpRequest()->authenticationUsed() &&
        authConfigFactory(getDownloadEngine())
            ->activateBasicCred(req->getHost(), req->getPort(), req->getDir(), option.get(),
                                AuthConfigFactory::credScopeOf(*req))) {
      return prepareForRetry(0);
    }
    throw DL_ABORT_EX(_("Authorization failed."), error_code::HTTP_AUTH_FAILED);
  }
  if (status == 502 || status == 503) {
    if (option->getAsInt(PREF_RETRY_WAIT) >= 1) {
      throw DL_RETRY_EX(message, error_code::HTTP_SERVICE_UNAVAILABLE);
    }
    throw DL_ABORT_EX(message, error_code::HTTP_SERVICE_UNAVAILABLE);
  }
  if (status == 404) {
    if (option->getAsInt(PREF_MAX_FILE_NOT_FOUND) != 0) {
      throw DL_RETRY_EX(_("Resource not found"), error_code::RESOURCE_NOT_FOUND);
    }
    throw DL_ABORT_EX(_("Resource not found"), error_code::RESOURCE_NOT_FOUND);
  }
  if (status == 504) {
    throw DL_RETRY_EX(message, error_code::HTTP_SERVICE_UNAVAILABLE);
  }
  if (status >= 400) {
    throw DL_ABORT_EX(message, error_code::HTTP_PROTOCOL_ERROR);
  }
  return prepareForRetry(0);
}

}  // namespace quarn

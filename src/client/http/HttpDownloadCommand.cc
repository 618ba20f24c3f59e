#include "client/http/HttpDownloadCommand.h"

#include <algorithm>

#include "client/common/socket_pool.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpRequestCommand.h"
#include "client/http/HttpResponse.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/util_string.h"
#include "net/HttpHeader.h"
#include "storage/FileEntry.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SinkStreamFilter.h"
#include "storage/StreamFilter.h"

namespace quarn {

HttpDownloadCommand::HttpDownloadCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                         std::shared_ptr<FileEntry> fileEntry,
                                         RequestGroup* requestGroup,
                                         std::unique_ptr<HttpResponse> httpResponse,
                                         std::shared_ptr<HttpConnection> httpConnection,
                                         DownloadEngine* e, std::shared_ptr<SocketCore> s)
    : DownloadCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, std::move(s),
                      httpConnection->getSocketRecvBuffer()),
      httpResponse_(std::move(httpResponse)),
      httpConnection_(std::move(httpConnection)) {}

HttpDownloadCommand::~HttpDownloadCommand() = default;

int64_t HttpDownloadCommand::getRequestEndOffset() const {
  int64_t endByte = httpResponse_->getHttpHeader()->getRange().getEndByte();
  return endByte > 0 ? endByte + 1 : 0;
}

bool HttpDownloadCommand::prepareForNextSegment() {
  bool finished = getRequestGroup()->downloadFinished();
  const auto& req = getRequest();
  if (req->isPipeliningEnabled() && !finished) {
    auto command =
        std::make_unique<HttpRequestCommand>(getCuid(), req, getFileEntry(), getRequestGroup(),
                                             httpConnection_, getDownloadEngine(), getSocket());
    if (resolveProxyMethod(req->getProtocol()) == V_GET) {
      command->setProxyRequest(createProxyRequest());
    }
    getDownloadEngine()->addCommand(std::move(command));
    return true;
  }
  StreamFilter* filter = getStreamFilter();
  if (req->isPersistentConnection()) {
    bool pool = req->getPipeliningHint();
    if (!pool && req->getKeepAliveHint()) {
      bool decodedToEnd =
          !util::endsWith(filter->getName(), SinkStreamFilter::NAME) && filter->finished();
      bool exactEnd = !getSegments().empty() &&
                      getRequestEndOffset() ==
                          getFileEntry()->gtoloff(getSegments().front()->getPositionToWrite());
      pool = decodedToEnd || exactEnd;
    }
    if (pool) {
      poolRequestSocket(getDownloadEngine(), req, createProxyRequest(), getSocket());
    }
  } else if (req->getPipeliningHint() && !finished && !getSegments().empty()) {
    const auto& segment = getSegments().front();
    int64_t end = getFileEntry()->gtoloff(
        std::min(getFileEntry()->getLastOffset(), segment->getPosition() + segment->getLength()));
    if (end == httpResponse_->getHttpHeader()->getRange().getEndByte() + 1) {
      return prepareForRetry(0);
    }
  }
  return DownloadCommand::prepareForNextSegment();
}

}  // namespace quarn

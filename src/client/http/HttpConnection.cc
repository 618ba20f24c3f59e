#include "client/http/HttpConnection.h"

#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "net/SocketBuffer.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/Segment.h"

namespace quarn {

HttpConnection::HttpConnection(int64_t cuid, std::shared_ptr<SocketCore> socket,
                               std::shared_ptr<SocketRecvBuffer> socketRecvBuffer)
    : cuid_(cuid),
      socket_(std::move(socket)),
      socketRecvBuffer_(std::move(socketRecvBuffer)),
      socketBuffer_(std::make_unique<SocketBuffer>(socket_)) {}

HttpConnection::~HttpConnection() = default;

std::string HttpConnection::eraseConfidentialInfo(const std::string& request) {
  static const char* const CONFIDENTIAL[] = {
      "Authorization: ", "Proxy-Authorization: ", "Cookie: ", "Set-Cookie: "};
  std::string result;
  size_t pos = 0;
  while (pos < request.size()) {
    size_t eol = request.find('\n', pos);
    size_t end = eol == std::string::npos ? request.size() : eol;
    std::string line = request.substr(pos, end - pos);
    pos = end + 1;
    bool masked = false;
    for (const char* prefix : CONFIDENTIAL) {
      if (util::istartsWith(line, prefix)) {
        result += prefix;
        result += "<snip>\n";
        masked = true;
        break;
      }
    }
    if (!masked) {
      result += line;
      result += '\n';
    }
  }
  return result;
}

void HttpConnection::sendRequest(std::unique_ptr<HttpRequest> httpRequest) {
  std::string request = httpRequest->createRequest();
  sendRequest(std::move(httpRequest), std::move(request));
}

void HttpConnection::sendProxyRequest(std::unique_ptr<HttpRequest> httpRequest) {
  std::string request = httpRequest->createProxyRequest();
  queueRequest(std::move(request));
  outstandingHttpRequests_.push_back(
      std::make_unique<HttpRequestEntry>(std::move(httpRequest), true));
}

void HttpConnection::sendRequest(std::unique_ptr<HttpRequest> httpRequest, std::string request) {
  queueRequest(std::move(request));
  outstandingHttpRequests_.push_back(std::make_unique<HttpRequestEntry>(std::move(httpRequest)));
}

void HttpConnection::queueRequest(std::string request) {
  QLOG_INFO(fmt("CUID#%lld - Requesting:\n%s", static_cast<long long>(cuid_),
                eraseConfidentialInfo(request).c_str()));
  socketBuffer_->pushStr(std::move(request));
  socketBuffer_->send();
}

void HttpConnection::throwIfEof() const {
  if (!socket_->wantRead() && !socket_->wantWrite()) {
    throw DL_RETRY_EX(_("Got EOF from the server."));
  }
}

bool HttpConnection::parseBuffered(HttpHeaderProcessor* proc) {
  if (socketRecvBuffer_->bufferEmpty() && socketRecvBuffer_->recv() == 0) {
    throwIfEof();
  }
  bool complete = proc->parse(socketRecvBuffer_->getBuffer(), socketRecvBuffer_->getBufferLength());
  socketRecvBuffer_->drain(proc->getLastBytesProcessed());
  return complete;
}

bool HttpConnection::parseUpToEndOfHead(HttpHeaderProcessor* proc) {
  unsigned char buf[SocketRecvBuffer::BUFFER_SIZE];
  size_t len = sizeof(buf);
  socket_->peekData(buf, len);
  if (len == 0) {
    throwIfEof();
  }
  bool complete = proc->parse(buf, len);
  // The parser took everything it saw, or the head up to its end; those
  // bytes are queued on the socket, so the reads below get them all.
  for (size_t left = proc->getLastBytesProcessed(); left > 0;) {
    size_t n = left;
    socket_->readData(buf, n);
    if (n == 0) {
      throw DL_RETRY_EX(_("Got EOF from the server."));
    }
    left -= n;
  }
  return complete;
}

std::unique_ptr<HttpResponse> HttpConnection::receiveResponse() {
  if (outstandingHttpRequests_.empty()) {
    throw DL_ABORT_EX(_("No HttpRequestEntry found."));
  }
  HttpRequestEntry& entry = *outstandingHttpRequests_.front();
  HttpHeaderProcessor* proc = entry.getHttpHeaderProcessor();
  bool complete = entry.isTunnel() && socketRecvBuffer_->bufferEmpty() ? parseUpToEndOfHead(proc)
                                                                       : parseBuffered(proc);
  if (!complete) {
    return nullptr;
  }
  QLOG_INFO(fmt("CUID#%lld - Response received:\n%s", static_cast<long long>(cuid_),
                eraseConfidentialInfo(proc->getHeaderString()).c_str()));
  auto header = proc->getResult();
  if (header->getStatusCode() / 100 == 1) {
    // An informational answer; the request waits for its final one.
    entry.resetHttpHeaderProcessor();
    return nullptr;
  }
  auto response = std::make_unique<HttpResponse>();
  response->setCuid(cuid_);
  response->setHttpHeader(std::move(header));
  response->setHttpRequest(entry.popHttpRequest());
  outstandingHttpRequests_.pop_front();
  return response;
}

bool HttpConnection::isIssued(const std::shared_ptr<Segment>& segment) const {
  for (const auto& entry : outstandingHttpRequests_) {
    const auto& request = entry->getHttpRequest();
    if (request && request->getSegment() &&
        request->getSegment()->getIndex() == segment->getIndex()) {
      return true;
    }
  }
  return false;
}

bool HttpConnection::sendBufferIsEmpty() const {
  return socketBuffer_->sendBufferIsEmpty();
}

void HttpConnection::sendPendingData() {
  socketBuffer_->send();
}

}  // namespace quarn

#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

class HttpConnection;
class HttpRequest;

// Finishes the TLS handshake of "https" and writes one request per held
// segment (or one without a segment) through the connection.
class HttpRequestCommand : public AbstractCommand {
 public:
  HttpRequestCommand(cuid_t cuid, std::shared_ptr<Request> req,
                     std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                     std::shared_ptr<HttpConnection> httpConnection, DownloadEngine* e,
                     std::shared_ptr<SocketCore> socket);
  ~HttpRequestCommand() override;

  void setProxyRequest(std::shared_ptr<Request> proxyRequest) {
    proxyRequest_ = std::move(proxyRequest);
  }

 protected:
  bool executeInternal() override;

 private:
  std::unique_ptr<HttpRequest> createHttpRequest(const std::shared_ptr<Segment>& segment,
                                                 int64_t endOffset) const;
  int64_t getEndOffset(const std::shared_ptr<Segment>& segment) const;
  void setIfModifiedSince(HttpRequest& httpRequest) const;

  std::shared_ptr<Request> proxyRequest_;
  std::shared_ptr<HttpConnection> httpConnection_;
};

}  // namespace quarn

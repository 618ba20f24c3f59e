#pragma once

#include "client/common/DownloadCommand.h"

namespace quarn {

class HttpConnection;
class HttpResponse;

// The HTTP body download: after a segment it pipelines the next request on
// the same connection, pools the connection, or leaves it to the framework.
class HttpDownloadCommand : public DownloadCommand {
 public:
  HttpDownloadCommand(cuid_t cuid, std::shared_ptr<Request> req,
                      std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                      std::unique_ptr<HttpResponse> httpResponse,
                      std::shared_ptr<HttpConnection> httpConnection, DownloadEngine* e,
                      std::shared_ptr<SocketCore> s);
  ~HttpDownloadCommand() override;

 protected:
  bool prepareForNextSegment() override;
  int64_t getRequestEndOffset() const override;

 private:
  std::unique_ptr<HttpResponse> httpResponse_;
  std::shared_ptr<HttpConnection> httpConnection_;
};

}  // namespace quarn

#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

class HttpConnection;
class HttpResponse;
class StreamFilter;

// Reads an unwanted body past (redirects, errors) so that the connection can
// be reused, then decides by the status what happens next.
class HttpSkipResponseCommand : public AbstractCommand {
 public:
  HttpSkipResponseCommand(cuid_t cuid, std::shared_ptr<Request> req,
                          std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                          std::shared_ptr<HttpConnection> httpConnection,
                          std::unique_ptr<HttpResponse> httpResponse, DownloadEngine* e,
                          std::shared_ptr<SocketCore> s);
  ~HttpSkipResponseCommand() override;

  void installStreamFilter(std::unique_ptr<StreamFilter> filter);
  void disableSocketCheck();

 protected:
  bool executeInternal() override;

 private:
  void poolConnection() const;
  bool processResponse();

  bool sinkFilterOnly_;
  int64_t totalLength_;
  int64_t receivedBytes_;
  std::shared_ptr<HttpConnection> httpConnection_;
  std::unique_ptr<HttpResponse> httpResponse_;
  std::unique_ptr<StreamFilter> streamFilter_;
};

}  // namespace quarn

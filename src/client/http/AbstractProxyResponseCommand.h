#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

class HttpConnection;

// Reads the proxy's answer to CONNECT; anything but 200 is a retry.
class AbstractProxyResponseCommand : public AbstractCommand {
 public:
  AbstractProxyResponseCommand(cuid_t cuid, std::shared_ptr<Request> req,
                               std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                               std::shared_ptr<HttpConnection> httpConnection, DownloadEngine* e,
                               std::shared_ptr<SocketCore> s);
  ~AbstractProxyResponseCommand() override;

  const std::shared_ptr<HttpConnection>& getHttpConnection() const { return httpConnection_; }

 protected:
  bool executeInternal() override;
  virtual std::unique_ptr<Command> getNextCommand() = 0;

 private:
  std::shared_ptr<HttpConnection> httpConnection_;
};

}  // namespace quarn

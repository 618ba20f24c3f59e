#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

class HttpConnection;

// Sends the CONNECT request that turns a proxy connection into a tunnel.
class AbstractProxyRequestCommand : public AbstractCommand {
 public:
  AbstractProxyRequestCommand(cuid_t cuid, std::shared_ptr<Request> req,
                              std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                              DownloadEngine* e, std::shared_ptr<Request> proxyRequest,
                              std::shared_ptr<SocketCore> s);
  ~AbstractProxyRequestCommand() override;

  const std::shared_ptr<HttpConnection>& getHttpConnection() const { return httpConnection_; }
  const std::shared_ptr<Request>& getProxyRequest() const { return proxyRequest_; }

 protected:
  bool executeInternal() override;
  virtual std::unique_ptr<Command> getNextCommand() = 0;

 private:
  std::shared_ptr<Request> proxyRequest_;
  std::shared_ptr<HttpConnection> httpConnection_;
};

}  // namespace quarn

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/common/InitiateConnectionCommand.h"

namespace quarn {

// Opens, or takes from the socket pool, the connection of an "ftp" or "sftp"
// request, directly or through an HTTP proxy.
class FtpInitiateConnectionCommand : public InitiateConnectionCommand {
 public:
  FtpInitiateConnectionCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                               const std::shared_ptr<FileEntry>& fileEntry,
                               RequestGroup* requestGroup, DownloadEngine* e);
  ~FtpInitiateConnectionCommand() override;

 protected:
  std::unique_ptr<Command> createNextCommand(const std::string& hostname, const std::string& addr,
                                             uint16_t port,
                                             const std::vector<std::string>& resolvedAddresses,
                                             const std::shared_ptr<Request>& proxyRequest) override;

 private:
  std::unique_ptr<Command> createNextCommandProxied(
      const std::string& hostname, const std::string& addr, uint16_t port,
      const std::vector<std::string>& resolvedAddresses,
      const std::shared_ptr<Request>& proxyRequest);
  std::unique_ptr<Command> createNextCommandPlain(
      const std::string& hostname, const std::string& addr, uint16_t port,
      const std::vector<std::string>& resolvedAddresses);
  std::unique_ptr<Command> createPooledNegotiation(const std::string& hostname,
                                                   const std::shared_ptr<SocketCore>& socket,
                                                   const std::string& baseDir);
};

}  // namespace quarn

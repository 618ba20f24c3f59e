#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/common/AbstractCommand.h"

namespace quarn {

class BackupConnectInfo;
class ConnectCommand;

// Resolves the endpoint of a connection (the server or its proxy) and hands
// over to the protocol's next command; a failed connect start moves on to the
// next cached address.
class InitiateConnectionCommand : public AbstractCommand {
 public:
  InitiateConnectionCommand(cuid_t cuid, std::shared_ptr<Request> req,
                            std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                            DownloadEngine* e);
  ~InitiateConnectionCommand() override;

 protected:
  bool executeInternal() override;
  virtual std::unique_ptr<Command> createNextCommand(
      const std::string& hostname, const std::string& addr, uint16_t port,
      const std::vector<std::string>& resolvedAddresses,
      const std::shared_ptr<Request>& proxyRequest) = 0;

  void setConnectedAddrInfo(const std::shared_ptr<Request>& req, const std::string& hostname,
                            const std::shared_ptr<SocketCore>& socket);
  std::shared_ptr<BackupConnectInfo> createBackupIPv4ConnectCommand(const std::string& hostname,
                                                                    const std::string& ipaddr,
                                                                    uint16_t port,
                                                                    Command* mainCommand);
  void setupBackupConnection(const std::string& hostname, const std::string& ipaddr, uint16_t port,
                             ConnectCommand* c);
};

}  // namespace quarn

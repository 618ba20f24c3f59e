#pragma once

#include <memory>
#include <string>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class BackupConnectInfo;
class DownloadEngine;
class RequestGroup;
class SocketCore;

// A second connect to an IPv4 address of the host, started 300 ms after an
// IPv6 connect; when it is established first, the main command takes it over.
class BackupIPv4ConnectCommand : public Command {
 public:
  BackupIPv4ConnectCommand(cuid_t cuid, std::string ipaddr, uint16_t port,
                           std::shared_ptr<BackupConnectInfo> info, Command* mainCommand,
                           RequestGroup* requestGroup, DownloadEngine* e);
  ~BackupIPv4ConnectCommand() override;

  bool execute() override;

 private:
  std::string ipaddr_;
  uint16_t port_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<BackupConnectInfo> info_;
  Command* mainCommand_;
  RequestGroup* requestGroup_;
  DownloadEngine* e_;
  Timer startTime_;
};

}  // namespace quarn

#pragma once

#include "client/http/AbstractProxyResponseCommand.h"

namespace quarn {

// Reads the proxy's answer to CONNECT and starts the FTP or SFTP dialogue
// through the tunnel.
class FtpTunnelResponseCommand : public AbstractProxyResponseCommand {
 public:
  using AbstractProxyResponseCommand::AbstractProxyResponseCommand;

 protected:
  std::unique_ptr<Command> getNextCommand() override;
};

}  // namespace quarn

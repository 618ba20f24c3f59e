#pragma once

#include "client/http/AbstractProxyRequestCommand.h"

namespace quarn {

// Sends CONNECT to the proxy for an FTP or SFTP server.
class FtpTunnelRequestCommand : public AbstractProxyRequestCommand {
 public:
  using AbstractProxyRequestCommand::AbstractProxyRequestCommand;

 protected:
  std::unique_ptr<Command> getNextCommand() override;
};

}  // namespace quarn

#include "client/FtpTunnelResponseCommand.h"

#include "client/FtpNegotiationCommand.h"
#include "client/Request.h"
#include "client/SftpNegotiationCommand.h"

namespace quarn {

std::unique_ptr<Command> FtpTunnelResponseCommand::getNextCommand() {
  if (getRequest()->getProtocol() == "sftp") {
    return std::make_unique<SftpNegotiationCommand>(getCuid(), getRequest(), getFileEntry(),
                                                    getRequestGroup(), getDownloadEngine(),
                                                    getSocket());
  }
  return std::make_unique<FtpNegotiationCommand>(
      getCuid(), getRequest(), getFileEntry(), getRequestGroup(), getDownloadEngine(), getSocket());
}

}  // namespace quarn

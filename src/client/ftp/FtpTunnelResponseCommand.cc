#include "client/ftp/FtpTunnelResponseCommand.h"

#include "client/ftp/FtpNegotiationCommand.h"
#include "client/sftp/SftpNegotiationCommand.h"
#include "storage/Request.h"

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

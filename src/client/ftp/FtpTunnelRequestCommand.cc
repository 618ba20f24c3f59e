#include "client/ftp/FtpTunnelRequestCommand.h"

#include "client/ftp/FtpTunnelResponseCommand.h"

namespace quarn {

std::unique_ptr<Command> FtpTunnelRequestCommand::getNextCommand() {
  return std::make_unique<FtpTunnelResponseCommand>(getCuid(), getRequest(), getFileEntry(),
                                                    getRequestGroup(), getHttpConnection(),
                                                    getDownloadEngine(), getSocket());
}

}  // namespace quarn

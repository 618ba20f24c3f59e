#include "client/HttpProxyRequestCommand.h"

#include "client/HttpProxyResponseCommand.h"

namespace quarn {

std::unique_ptr<Command> HttpProxyRequestCommand::getNextCommand() {
  return std::make_unique<HttpProxyResponseCommand>(getCuid(), getRequest(), getFileEntry(),
                                                    getRequestGroup(), getHttpConnection(),
                                                    getDownloadEngine(), getSocket());
}

}  // namespace quarn

#include "client/http/HttpProxyRequestCommand.h"

#include "client/http/HttpProxyResponseCommand.h"

namespace quarn {

std::unique_ptr<Command> HttpProxyRequestCommand::getNextCommand() {
  return std::make_unique<HttpProxyResponseCommand>(getCuid(), getRequest(), getFileEntry(),
                                                    getRequestGroup(), getHttpConnection(),
                                                    getDownloadEngine(), getSocket());
}

}  // namespace quarn

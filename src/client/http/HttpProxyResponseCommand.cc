#include "client/http/HttpProxyResponseCommand.h"

#include "client/http/HttpRequestCommand.h"

namespace quarn {

std::unique_ptr<Command> HttpProxyResponseCommand::getNextCommand() {
  // Requests go through the tunnel as to the server itself.
  return std::make_unique<HttpRequestCommand>(getCuid(), getRequest(), getFileEntry(),
                                              getRequestGroup(), getHttpConnection(),
                                              getDownloadEngine(), getSocket());
}

}  // namespace quarn

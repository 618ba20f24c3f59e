#include "client/http/connect_chains.h"

#include "client/http/HttpConnection.h"
#include "client/http/HttpProxyRequestCommand.h"
#include "client/http/HttpRequestCommand.h"
#include "engine/DownloadEngine.h"
#include "net/SocketRecvBuffer.h"

namespace quarn {

int HttpRequestConnectChain::run(ConnectCommand* t, DownloadEngine* e) {
  auto buffer = std::make_shared<SocketRecvBuffer>(t->getSocket());
  auto connection = std::make_shared<HttpConnection>(t->getCuid(), t->getSocket(), buffer);
  auto command =
      std::make_unique<HttpRequestCommand>(t->getCuid(), t->getRequest(), t->getFileEntry(),
                                           t->getRequestGroup(), connection, e, t->getSocket());
  command->setProxyRequest(t->getProxyRequest());
  command->setStatus(Command::STATUS_ONESHOT_REALTIME);
  e->setNoWait(true);
  e->addCommand(std::move(command));
  return 0;
}

int HttpProxyRequestConnectChain::run(ConnectCommand* t, DownloadEngine* e) {
  auto command = std::make_unique<HttpProxyRequestCommand>(t->getCuid(), t->getRequest(),
                                                           t->getFileEntry(), t->getRequestGroup(),
                                                           e, t->getProxyRequest(), t->getSocket());
  command->setStatus(Command::STATUS_ONESHOT_REALTIME);
  e->setNoWait(true);
  e->addCommand(std::move(command));
  return 0;
}

}  // namespace quarn

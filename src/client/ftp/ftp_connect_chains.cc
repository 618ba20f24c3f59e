#include "client/ftp/ftp_connect_chains.h"

#include "client/ftp/FtpNegotiationCommand.h"
#include "client/ftp/FtpTunnelRequestCommand.h"
#include "client/sftp/SftpNegotiationCommand.h"
#include "engine/DownloadEngine.h"

namespace quarn {

namespace {

int handOver(std::unique_ptr<Command> command, DownloadEngine* e) {
  command->setStatus(Command::STATUS_ONESHOT_REALTIME);
  e->setNoWait(true);
  e->addCommand(std::move(command));
  return 0;
}

}  // namespace

int FtpNegotiationConnectChain::run(ConnectCommand* t, DownloadEngine* e) {
  return handOver(
      std::make_unique<FtpNegotiationCommand>(t->getCuid(), t->getRequest(), t->getFileEntry(),
                                              t->getRequestGroup(), e, t->getSocket()),
      e);
}

int SftpNegotiationConnectChain::run(ConnectCommand* t, DownloadEngine* e) {
  return handOver(
      std::make_unique<SftpNegotiationCommand>(t->getCuid(), t->getRequest(), t->getFileEntry(),
                                               t->getRequestGroup(), e, t->getSocket()),
      e);
}

int FtpTunnelRequestConnectChain::run(ConnectCommand* t, DownloadEngine* e) {
  return handOver(std::make_unique<FtpTunnelRequestCommand>(
                      t->getCuid(), t->getRequest(), t->getFileEntry(), t->getRequestGroup(), e,
                      t->getProxyRequest(), t->getSocket()),
                  e);
}

}  // namespace quarn

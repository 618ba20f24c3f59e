#include "client/common/ConnectCommand.h"

#include <cinttypes>

#include "client/common/BackupConnectInfo.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace quarn {

ConnectCommand::ConnectCommand(cuid_t cuid, std::shared_ptr<Request> req,
                               std::shared_ptr<Request> proxyRequest,
                               std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                               DownloadEngine* e, std::shared_ptr<SocketCore> s)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, s),
      proxyRequest_(std::move(proxyRequest)) {
  setTimeout(getOption()->getAsInt(PREF_CONNECT_TIMEOUT));
  disableReadCheckSocket();
  setWriteCheckSocket(getSocket());
}

ConnectCommand::~ConnectCommand() {
  if (backupConnectInfo_) {
    backupConnectInfo_->cancel = true;
  }
}

bool ConnectCommand::noCheck() const {
  return backupConnectInfo_ && !backupConnectInfo_->ipaddr.empty();
}

bool ConnectCommand::executeInternal() {
  const auto& req = getRequest();
  if (backupConnectInfo_ && !backupConnectInfo_->ipaddr.empty()) {
    QLOG_INFO(fmt("CUID#%" PRId64 " - Use backup connection address %s", getCuid(),
                  backupConnectInfo_->ipaddr.c_str()));
    getDownloadEngine()->markBadIPAddress(req->getConnectedHostname(), req->getConnectedAddr(),
                                          req->getConnectedPort());
    req->setConnectedAddrInfo(req->getConnectedHostname(), backupConnectInfo_->ipaddr,
                              req->getConnectedPort());
    swapSocket(backupConnectInfo_->socket);
    backupConnectInfo_.reset();
  }
  if (!checkIfConnectionEstablished(getSocket(), req->getConnectedHostname(),
                                    req->getConnectedAddr(), req->getConnectedPort())) {
    return true;
  }
  if (backupConnectInfo_) {
    backupConnectInfo_->cancel = true;
    backupConnectInfo_.reset();
  }
  chain_->run(this, getDownloadEngine());
  return true;
}

}  // namespace quarn

#include "client/common/BackupIPv4ConnectCommand.h"

#include <cinttypes>

#include <chrono>

#include "client/common/BackupConnectInfo.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

namespace {

constexpr std::chrono::milliseconds BACKUP_DELAY{300};

}  // namespace

BackupIPv4ConnectCommand::BackupIPv4ConnectCommand(cuid_t cuid, std::string ipaddr, uint16_t port,
                                                   std::shared_ptr<BackupConnectInfo> info,
                                                   Command* mainCommand, RequestGroup* requestGroup,
                                                   DownloadEngine* e)
    : Command(cuid),
      ipaddr_(std::move(ipaddr)),
      port_(port),
      info_(std::move(info)),
      mainCommand_(mainCommand),
      requestGroup_(requestGroup),
      e_(e),
      startTime_(global::wallclock()) {
  requestGroup_->increaseStreamCommand();
  requestGroup_->increaseNumCommand();
}

BackupIPv4ConnectCommand::~BackupIPv4ConnectCommand() {
  requestGroup_->decreaseNumCommand();
  requestGroup_->decreaseStreamCommand();
  if (socket_) {
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

bool BackupIPv4ConnectCommand::execute() {
  if (requestGroup_->downloadFinished() || requestGroup_->isHaltRequested()) {
    return true;
  }
  if (info_->cancel) {
    QLOG_INFO(fmt("CUID#%" PRId64 " - Backup connection canceled", getCuid()));
    return true;
  }
  if (!socket_) {
    if (startTime_.difference(global::wallclock()) >= BACKUP_DELAY) {
      try {
        socket_ = std::make_shared<SocketCore>();
        socket_->establishConnection(ipaddr_, port_, true);
        e_->addSocketForWriteCheck(socket_->getSockfd(), this);
      } catch (const RecoverableException& ex) {
        QLOG_INFO_EX(fmt("CUID#%" PRId64 " - Backup connection failed", getCuid()), ex);
        socket_.reset();
        return true;
      }
    }
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  if (!writeEventEnabled()) {
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  try {
    std::string error = socket_->getSocketError();
    if (!error.empty()) {
      QLOG_INFO(fmt("CUID#%" PRId64 " - Backup connection failed: %s", getCuid(), error.c_str()));
      return true;
    }
    QLOG_INFO(
        fmt("CUID#%" PRId64 " - Backup connection to %s established", getCuid(), ipaddr_.c_str()));
    info_->ipaddr = ipaddr_;
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
    socket_.swap(info_->socket);
    mainCommand_->setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
    return true;
  } catch (const RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%" PRId64 " - Backup connection failed", getCuid()), ex);
    return true;
  }
}

}  // namespace quarn

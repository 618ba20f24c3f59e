#include "client/ftp/FtpFinishDownloadCommand.h"

#include "client/common/user_socket_pool.h"
#include "client/ftp/FtpConnection.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Logger.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

FtpFinishDownloadCommand::FtpFinishDownloadCommand(
    cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
    RequestGroup* requestGroup, const std::shared_ptr<FtpConnection>& ftpConnection,
    DownloadEngine* e, const std::shared_ptr<SocketCore>& ctrlSocket)
    : AbstractCommand(cuid, req, fileEntry, requestGroup, e, ctrlSocket, nullptr, true),
      ftpConnection_(ftpConnection),
      checkPoint_(global::wallclock()) {}

FtpFinishDownloadCommand::~FtpFinishDownloadCommand() = default;

bool FtpFinishDownloadCommand::execute() {
  if (getRequestGroup()->isHaltRequested()) {
    return true;
  }
  try {
    if (readEventEnabled() || hupEventEnabled() || ftpConnection_->hasPendingReply()) {
      checkPoint_ = global::wallclock();
      int status = ftpConnection_->receiveResponse();
      if (status == 0) {
        addCommandSelf();
        return false;
      }
      if (status == 226) {
        if (getOption()->getAsBool(PREF_FTP_REUSE_CONNECTION)) {
          poolUserSocket(getDownloadEngine(), getRequest(), ftpConnection_->getUser(),
                         createProxyRequest(), getSocket(), ftpConnection_->getBaseWorkingDir());
        }
      } else {
        QLOG_INFO(fmt("CUID#%lld - Bad status for transfer complete.",
                      static_cast<long long>(getCuid())));
      }
    } else if (checkPoint_.difference(global::wallclock()) < std::chrono::seconds(getTimeout())) {
      addCommandSelf();
      return false;
    } else {
      QLOG_INFO(fmt("CUID#%lld - Timeout before receiving transfer complete.",
                    static_cast<long long>(getCuid())));
    }
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX(fmt("CUID#%lld - Exception was thrown, but download was finished, so we can "
                     "ignore the exception.",
                     static_cast<long long>(getCuid())),
                 e);
  }
  if (getRequestGroup()->downloadFinished()) {
    return true;
  }
  return prepareForRetry(0);
}

}  // namespace quarn

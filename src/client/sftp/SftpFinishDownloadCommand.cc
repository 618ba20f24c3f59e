#include "client/sftp/SftpFinishDownloadCommand.h"

#include "client/auth/AuthConfig.h"
#include "client/auth/AuthConfigFactory.h"

#include "client/common/user_socket_pool.h"
#include "config/Option.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Logger.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

SftpFinishDownloadCommand::SftpFinishDownloadCommand(cuid_t cuid,
                                                     const std::shared_ptr<Request>& req,
                                                     const std::shared_ptr<FileEntry>& fileEntry,
                                                     RequestGroup* requestGroup, DownloadEngine* e,
                                                     const std::shared_ptr<SocketCore>& socket)
    : AbstractCommand(cuid, req, fileEntry, requestGroup, e, socket, nullptr, true),
      checkPoint_(global::wallclock()) {
  disableReadCheckSocket();
  setWriteCheckSocket(getSocket());
}

SftpFinishDownloadCommand::~SftpFinishDownloadCommand() = default;

bool SftpFinishDownloadCommand::execute() {
  if (getRequestGroup()->isHaltRequested()) {
    return true;
  }
  try {
    if (readEventEnabled() || writeEventEnabled() || hupEventEnabled()) {
      checkPoint_ = global::wallclock();
      if (!getSocket()->sshSFTPClose()) {
        setWriteCheckSocketIf(getSocket(), getSocket()->wantWrite());
        setReadCheckSocketIf(getSocket(), getSocket()->wantRead());
        addCommandSelf();
        return false;
      }
      auto authConfig = authConfigFactory(getDownloadEngine())
                            ->createAuthConfig(getRequest(), getRequestGroup()->getOption().get());
      poolUserSocket(getDownloadEngine(), getRequest(), authConfig ? authConfig->getUser() : "",
                     createProxyRequest(), getSocket(), "");
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

#include "client/sftp/SftpDownloadCommand.h"

#include "client/auth/AuthConfig.h"
#include "client/sftp/SftpFinishDownloadCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/FileEntry.h"
#include "storage/Segment.h"

namespace quarn {

SftpDownloadCommand::SftpDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                                         const std::shared_ptr<FileEntry>& fileEntry,
                                         RequestGroup* requestGroup, DownloadEngine* e,
                                         const std::shared_ptr<SocketCore>& socket,
                                         std::unique_ptr<AuthConfig> authConfig)
    : DownloadCommand(cuid, req, fileEntry, requestGroup, e, socket,
                      std::make_shared<SocketRecvBuffer>(socket)),
      authConfig_(std::move(authConfig)) {
  setWriteCheckSocket(getSocket());
}

SftpDownloadCommand::~SftpDownloadCommand() = default;

bool SftpDownloadCommand::prepareForNextSegment() {
  if (getOption()->getAsBool(PREF_FTP_REUSE_CONNECTION) &&
      getFileEntry()->gtoloff(getSegments().front()->getPositionToWrite()) ==
          getFileEntry()->getLength()) {
    auto c = std::make_unique<SftpFinishDownloadCommand>(getCuid(), getRequest(), getFileEntry(),
                                                         getRequestGroup(), getDownloadEngine(),
                                                         getSocket());
    c->setStatus(Command::STATUS_ONESHOT_REALTIME);
    getDownloadEngine()->setNoWait(true);
    getDownloadEngine()->addCommand(std::move(c));
    if (getRequestGroup()->downloadFinished()) {
      DownloadCommand::prepareForNextSegment();
    }
    return true;
  }
  if (DownloadCommand::prepareForNextSegment()) {
    return true;
  }
  setWriteCheckSocket(getSocket());
  return false;
}

int64_t SftpDownloadCommand::getRequestEndOffset() const {
  return getFileEntry()->getLength();
}

bool SftpDownloadCommand::shouldEnableWriteCheck() {
  return getSocket()->wantWrite() || !getSocket()->wantRead();
}

}  // namespace quarn

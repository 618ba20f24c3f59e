#include "client/ftp/FtpDownloadCommand.h"

#include "client/common/user_socket_pool.h"
#include "client/ftp/FtpConnection.h"
#include "client/ftp/FtpFinishDownloadCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/DlRetryEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"
#include "net/SocketRecvBuffer.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/Segment.h"

namespace quarn {

FtpDownloadCommand::FtpDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                                       const std::shared_ptr<FileEntry>& fileEntry,
                                       RequestGroup* requestGroup,
                                       const std::shared_ptr<FtpConnection>& ftpConnection,
                                       DownloadEngine* e,
                                       const std::shared_ptr<SocketCore>& dataSocket,
                                       const std::shared_ptr<SocketCore>& ctrlSocket)
    : DownloadCommand(cuid, req, fileEntry, requestGroup, e, dataSocket,
                      std::make_shared<SocketRecvBuffer>(dataSocket)),
      ftpConnection_(ftpConnection),
      ctrlSocket_(ctrlSocket),
      awaitingFinalReply_(false),
      finalReplyReceived_(false) {}

FtpDownloadCommand::~FtpDownloadCommand() = default;

bool FtpDownloadCommand::dataStreamEnded() {
  const auto& buffer = getSocketRecvBuffer();
  if (!buffer->bufferEmpty()) {
    return false;
  }
  return buffer->recv() == 0 && !getSocket()->wantRead() && !getSocket()->wantWrite();
}

bool FtpDownloadCommand::receiveFinalReply() {
  int status = ftpConnection_->receiveResponse();
  if (status == 0) {
    setReadCheckSocket(ctrlSocket_);
    addCommandSelf();
    return false;
  }
  if (status != 226 && status != 250) {
    throw DL_RETRY_EX(fmt(_("The response status is not successful. status=%d"), status),
                      error_code::FTP_PROTOCOL_ERROR);
  }
  awaitingFinalReply_ = false;
  finalReplyReceived_ = true;
  return true;
}

bool FtpDownloadCommand::executeInternal() {
  if (!getDownloadContext()->knowsTotalLength() && !finalReplyReceived_) {
    if (!awaitingFinalReply_ && dataStreamEnded()) {
      awaitingFinalReply_ = true;
      disableWriteCheckSocket();
    }
    if (awaitingFinalReply_ && !receiveFinalReply()) {
      return false;
    }
  }
  return DownloadCommand::executeInternal();
}

bool FtpDownloadCommand::prepareForNextSegment() {
  bool reuse = getOption()->getAsBool(PREF_FTP_REUSE_CONNECTION);
  if (finalReplyReceived_) {
    if (reuse) {
      poolUserSocket(getDownloadEngine(), getRequest(), ftpConnection_->getUser(),
                     createProxyRequest(), ctrlSocket_, ftpConnection_->getBaseWorkingDir());
    }
    return DownloadCommand::prepareForNextSegment();
  }
  if (reuse && getFileEntry()->gtoloff(getSegments().front()->getPositionToWrite()) ==
                   getFileEntry()->getLength()) {
    getDownloadEngine()->addCommand(std::make_unique<FtpFinishDownloadCommand>(
        getCuid(), getRequest(), getFileEntry(), getRequestGroup(), ftpConnection_,
        getDownloadEngine(), ctrlSocket_));
    if (getRequestGroup()->downloadFinished()) {
      DownloadCommand::prepareForNextSegment();
    }
    return true;
  }
  return DownloadCommand::prepareForNextSegment();
}

int64_t FtpDownloadCommand::getRequestEndOffset() const {
  return getFileEntry()->getLength();
}

}  // namespace quarn

#include "client/sftp/SftpNegotiationCommand.h"

#include "client/common/length_limit.h"

#include "client/auth/AuthConfig.h"
#include "client/auth/AuthConfigFactory.h"
#include "client/sftp/SftpDownloadCommand.h"
#include "client/sftp/SftpFinishDownloadCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Logger.h"
#include "foundation/Time.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "net/SocketCore.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/URISelector.h"

namespace quarn {

SftpNegotiationCommand::SftpNegotiationCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                                               const std::shared_ptr<FileEntry>& fileEntry,
                                               RequestGroup* requestGroup, DownloadEngine* e,
                                               const std::shared_ptr<SocketCore>& socket, Seq seq)
    : AbstractCommand(cuid, req, fileEntry, requestGroup, e, socket, nullptr, true),
      sequence_(seq),
      authConfig_(authConfigFactory(e)->createAuthConfig(req, requestGroup->getOption().get())) {
  std::string dirFile = req->getDir() + req->getFile();
  path_ = util::percentDecode(dirFile.begin(), dirFile.end());

  setWriteCheckSocket(getSocket());
  const std::string& hostKeyMd = getOption()->get(PREF_SSH_HOST_KEY_MD);
  if (!hostKeyMd.empty()) {
    auto parts = util::divide(hostKeyMd.begin(), hostKeyMd.end(), '=');
    hashType_ = util::toLower(std::string(parts.first.first, parts.first.second));
    digest_ = util::fromHex(parts.second.first, parts.second.second);
  }
}

SftpNegotiationCommand::~SftpNegotiationCommand() = default;

bool SftpNegotiationCommand::executeInternal() {
  if (path_.find('\0') != std::string::npos) {
    // The SSH layer would cut the path at the NUL and open another file.
    throw DL_ABORT_EX(
        fmt("Refusing an SFTP path that holds NUL: %s", util::percentEncode(path_).c_str()));
  }
  disableWriteCheckSocket();
  for (;;) {
    switch (sequence_) {
      case SEQ_NEGOTIATION_COMPLETED:
        startDownload();
        return true;
      case SEQ_DOWNLOAD_ALREADY_COMPLETED:
      case SEQ_HEAD_OK:
      case SEQ_EXIT:
        return true;
      case SEQ_FILE_PREPARATION:
        sequence_ = SEQ_SFTP_SEEK;
        disableReadCheckSocket();
        disableWriteCheckSocket();
        return false;
      default:
        if (!step()) {
          addCommandSelf();
          if (getSocket()->wantWrite()) {
            setWriteCheckSocket(getSocket());
          }
          return false;
        }
    }
  }
}

bool SftpNegotiationCommand::step() {
  long long cuid = getCuid();
  switch (sequence_) {
    case SEQ_HANDSHAKE:
      setReadCheckSocket(getSocket());
      if (!getSocket()->sshHandshake(hashType_, digest_)) {
        return false;
      }
      QLOG_DEBUG(fmt("CUID#%lld - SSH handshake success", cuid));
      sequence_ = SEQ_AUTH_PASSWORD;
      return true;
    case SEQ_AUTH_PASSWORD:
      if (!getSocket()->sshAuthPassword(authConfig_->getUser(), authConfig_->getPassword())) {
        return false;
      }
      QLOG_DEBUG(fmt("CUID#%lld - SSH authentication success", cuid));
      sequence_ = SEQ_SFTP_OPEN;
      return true;
    case SEQ_SFTP_OPEN:
      if (!getSocket()->sshSFTPOpen(path_)) {
        return false;
      }
      QLOG_DEBUG(fmt("CUID#%lld - SFTP file %s opened", cuid, path_.c_str()));
      sequence_ = SEQ_SFTP_STAT;
      return true;
    case SEQ_SFTP_STAT: {
      int64_t totalLength = 0;
      time_t mtime = 0;
      if (!getSocket()->sshSFTPStat(totalLength, mtime, path_)) {
        return false;
      }
      Time t(mtime);
      QLOG_INFO(fmt("CUID#%lld - SFTP File %s, size=%lld, mtime=%s", cuid, path_.c_str(),
                    static_cast<long long>(totalLength), t.toHTTPDate().c_str()));
      if (getPieceStorage()) {
        getRequestGroup()->validateTotalLength(getFileEntry()->getLength(), totalLength);
        sequence_ = SEQ_SFTP_SEEK;
      } else {
        getRequestGroup()->updateLastModifiedTime(t);
        onFileSizeDetermined(totalLength);
      }
      return true;
    }
    case SEQ_SFTP_SEEK:
      sequence_ = SEQ_NEGOTIATION_COMPLETED;
      if (!getSegments().empty()) {
        int64_t pos = getSegments().front()->getPositionToWrite();
        QLOG_INFO(fmt("CUID#%lld - SFTP seek to %lld", cuid, static_cast<long long>(pos)));
        getSocket()->sshSFTPSeek(pos);
      }
      return true;
    default:
      return true;
  }
}

void SftpNegotiationCommand::startDownload() {
  auto command = std::make_unique<SftpDownloadCommand>(getCuid(), getRequest(), getFileEntry(),
                                                       getRequestGroup(), getDownloadEngine(),
                                                       getSocket(), std::move(authConfig_));
  command->setStartupIdleTime(getOption()->getAsInt(PREF_STARTUP_IDLE_TIME));
  command->setLowestDownloadSpeedLimit(getOption()->getAsInt(PREF_LOWEST_SPEED_LIMIT));
  command->setStatus(Command::STATUS_ONESHOT_REALTIME);
  getDownloadEngine()->setNoWait(true);
  if (getFileEntry()->isUniqueProtocol()) {
    getFileEntry()->removeURIWhoseHostnameIs(getRequest()->getHost());
  }
  getRequestGroup()->getURISelector()->tuneDownloadCommand(getFileEntry()->getRemainingUris(),
                                                           command.get());
  getDownloadEngine()->addCommand(std::move(command));
}

// The remote file is open at this point; a session pooled with it open would
// hand the next download this file again, so the finish command closes it
// before pooling.
void SftpNegotiationCommand::poolConnection() const {
  if (getOption()->getAsBool(PREF_FTP_REUSE_CONNECTION)) {
    auto c = std::make_unique<SftpFinishDownloadCommand>(getCuid(), getRequest(), getFileEntry(),
                                                         getRequestGroup(), getDownloadEngine(),
                                                         getSocket());
    c->setStatus(Command::STATUS_ONESHOT_REALTIME);
    getDownloadEngine()->setNoWait(true);
    getDownloadEngine()->addCommand(std::move(c));
  }
}

void SftpNegotiationCommand::onFileSizeDetermined(int64_t totalLength) {
  checkAnnouncedLength(totalLength, getDownloadContext()->getPieceLength());
  getFileEntry()->setLength(totalLength);
  if (getFileEntry()->getPath().empty()) {
    const std::string& file = getRequest()->getFile();
    std::string name = util::createSafePath(util::percentDecode(file.begin(), file.end()));
    getFileEntry()->setPath(util::applyDir(getOption()->get(PREF_DIR), name));
    getFileEntry()->setSuffixPath(name);
  }
  getRequestGroup()->preDownloadProcessing();
  if (totalLength != 0) {
    getRequestGroup()->adjustFilename(std::make_shared<DefaultBtProgressInfoFile>(
        getDownloadContext(), nullptr, getOption().get()));
  } else {
    getRequestGroup()->adjustFilename(std::make_shared<NullProgressInfoFile>());
  }
  getRequestGroup()->initPieceStorage();
  if (getOption()->getAsBool(PREF_DRY_RUN)) {
    onDryRunFileFound();
    return;
  }
  if (totalLength != 0) {
    if (!getRequestGroup()->openStorage()) {
      sequence_ = SEQ_DOWNLOAD_ALREADY_COMPLETED;
      poolConnection();
      return;
    }
    getSegmentMan()->getSegmentWithIndex(getCuid(), 0);
    std::vector<std::unique_ptr<Command>> commands;
    getRequestGroup()->createNextCommandWithAdj(commands, getDownloadEngine(), -1);
    getDownloadEngine()->setNoWait(true);
    getDownloadEngine()->addCommand(std::move(commands));
    sequence_ = SEQ_SFTP_SEEK;
    return;
  }
  getPieceStorage()->getDiskAdaptor()->initAndOpenFile();
  QLOG_DEBUG("File length becomes zero and it means download completed.");
  getPieceStorage()->markAllPiecesDone();
  sequence_ = SEQ_DOWNLOAD_ALREADY_COMPLETED;
  poolConnection();
}

void SftpNegotiationCommand::onDryRunFileFound() {
  getPieceStorage()->markAllPiecesDone();
  getDownloadContext()->setChecksumVerified(true);
  poolConnection();
  sequence_ = SEQ_HEAD_OK;
}

}  // namespace quarn

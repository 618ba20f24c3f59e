#include "bittorrent/PeerAbstractCommand.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/LingeringCloseCommand.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"

namespace quarn {

PeerAbstractCommand::PeerAbstractCommand(cuid_t cuid, std::shared_ptr<Peer> peer,
                                         DownloadEngine* engine, std::shared_ptr<SocketCore> socket)
    : Command(cuid),
      checkPoint_(global::wallclock()),
      timeout_(engine->getOption()->getAsInt(PREF_BT_TIMEOUT)),
      engine_(engine),
      socket_(std::move(socket)),
      peer_(std::move(peer)) {
  if (socket_ && socket_->isOpen()) {
    setReadCheckSocket(socket_);
  }
}

PeerAbstractCommand::~PeerAbstractCommand() {
  disableReadCheckSocket();
  disableWriteCheckSocket();
}

bool PeerAbstractCommand::socketEventArrived() const {
  return noCheck_ || (checkSocketIsReadable_ && readEventEnabled()) ||
         (checkSocketIsWritable_ && writeEventEnabled()) || hupEventEnabled();
}

bool PeerAbstractCommand::execute() {
  QLOG_DEBUG(fmt("CUID#%lld - socket: read:%d, write:%d, hup:%d, err:%d, noCheck:%d",
                 static_cast<long long>(getCuid()), readEventEnabled(), writeEventEnabled(),
                 hupEventEnabled(), errorEventEnabled(), noCheck_));
  if (exitBeforeExecute()) {
    onAbort();
    // The torrent is winding down in order: let the peer take what we sent.
    if (socket_ && socket_->isOpen()) {
      engine_->addCommand(
          std::make_unique<LingeringCloseCommand>(engine_->newCUID(), engine_, socket_));
    }
    return true;
  }
  try {
    if (socketEventArrived()) {
      checkPoint_ = global::wallclock();
    } else if (errorEventEnabled()) {
      throw DL_ABORT_EX(fmt(_("Network problem has occurred. cause:%s"),
                            socket_ ? socket_->getSocketError().c_str() : ""));
    }
    if (checkPoint_.difference(global::wallclock()) >= timeout_) {
      throw DL_ABORT_EX(_("Timeout."));
    }
    return executeInternal();
  } catch (const DownloadFailureException& e) {
    QLOG_ERROR_EX(_("Download aborted."), e);
    onAbort();
    onFailure(e);
    return true;
  } catch (const RecoverableException& e) {
    QLOG_DEBUG_EX(fmt("CUID#%lld - Download aborted.", static_cast<long long>(getCuid())), e);
    onAbort();
    return prepareForNextPeer(std::chrono::seconds(0));
  }
}

void PeerAbstractCommand::checkSocketFor(bool read, bool write) {
  if (read) {
    setReadCheckSocket(socket_);
  } else {
    disableReadCheckSocket();
  }
  if (write) {
    setWriteCheckSocket(socket_);
  } else {
    disableWriteCheckSocket();
  }
}

void PeerAbstractCommand::setReadCheckSocket(const std::shared_ptr<SocketCore>& socket) {
  if (!socket->isOpen()) {
    disableReadCheckSocket();
    return;
  }
  if (checkSocketIsReadable_) {
    if (readCheckTarget_->getSockfd() == socket->getSockfd()) {
      return;
    }
    engine_->deleteSocketForReadCheck(readCheckTarget_->getSockfd(), this);
  }
  engine_->addSocketForReadCheck(socket->getSockfd(), this);
  checkSocketIsReadable_ = true;
  readCheckTarget_ = socket;
}

void PeerAbstractCommand::setWriteCheckSocket(const std::shared_ptr<SocketCore>& socket) {
  if (!socket->isOpen()) {
    disableWriteCheckSocket();
    return;
  }
  if (checkSocketIsWritable_) {
    if (writeCheckTarget_->getSockfd() == socket->getSockfd()) {
      return;
    }
    engine_->deleteSocketForWriteCheck(writeCheckTarget_->getSockfd(), this);
  }
  engine_->addSocketForWriteCheck(socket->getSockfd(), this);
  checkSocketIsWritable_ = true;
  writeCheckTarget_ = socket;
}

void PeerAbstractCommand::disableReadCheckSocket() {
  if (checkSocketIsReadable_) {
    engine_->deleteSocketForReadCheck(readCheckTarget_->getSockfd(), this);
    checkSocketIsReadable_ = false;
    readCheckTarget_.reset();
  }
}

void PeerAbstractCommand::disableWriteCheckSocket() {
  if (checkSocketIsWritable_) {
    engine_->deleteSocketForWriteCheck(writeCheckTarget_->getSockfd(), this);
    checkSocketIsWritable_ = false;
    writeCheckTarget_.reset();
  }
}

void PeerAbstractCommand::updateKeepAlive() {
  checkPoint_ = global::wallclock();
}

void PeerAbstractCommand::createSocket() {
  socket_ = std::make_shared<SocketCore>();
}

void PeerAbstractCommand::addCommandSelf() {
  engine_->addCommand(std::unique_ptr<Command>(this));
}

}  // namespace quarn

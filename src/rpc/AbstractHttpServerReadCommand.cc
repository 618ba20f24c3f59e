#include "rpc/AbstractHttpServerReadCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"

namespace quarn {
namespace rpc {

namespace {

constexpr std::chrono::seconds TIMEOUT(30);

}  // namespace

AbstractHttpServerReadCommand::AbstractHttpServerReadCommand(
    cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(httpServer),
      timeoutTimer_(global::wallclock()),
      writeCheck_(false) {
  e_->addSocketForReadCheck(socket_->getSockfd(), this);
}

AbstractHttpServerReadCommand::~AbstractHttpServerReadCommand() {
  e_->deleteSocketForReadCheck(socket_->getSockfd(), this);
  if (writeCheck_) {
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

void AbstractHttpServerReadCommand::checkPendingInput() {
  if (httpServer_->hasPendingInput()) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
  }
}

// A TLS step may need to write before it can read on.
void AbstractHttpServerReadCommand::updateWriteCheck() {
  if (httpServer_->wantWrite() == writeCheck_) {
    return;
  }
  writeCheck_ = !writeCheck_;
  if (writeCheck_) {
    e_->addSocketForWriteCheck(socket_->getSockfd(), this);
  } else {
    e_->deleteSocketForWriteCheck(socket_->getSockfd(), this);
  }
}

bool AbstractHttpServerReadCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  try {
    if (socket_->isReadable(0) || (writeCheck_ && socket_->isWritable(0)) ||
        httpServer_->hasPendingInput() || readyWithoutInput()) {
      timeoutTimer_ = global::wallclock();
      if (step()) {
        return true;
      }
      updateWriteCheck();
    } else if (timeoutTimer_.difference(global::wallclock()) >= TIMEOUT) {
      QLOG_INFO(timeoutMessage());
      return true;
    }
    e_->addCommand(std::unique_ptr<Command>(this));
    return false;
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - %s", static_cast<long long>(getCuid()), errorMessage()), ex);
    return true;
  }
}

}  // namespace rpc
}  // namespace quarn

#include "rpc/AbstractHttpServerReadCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"
#include "rpc/socket_check.h"

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
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::WRITE, false, writeCheck_);
}

void AbstractHttpServerReadCommand::checkPendingInput() {
  if (httpServer_->hasPendingInput()) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    e_->setNoWait(true);
  }
}

// A TLS step may need to write before it can read on.
void AbstractHttpServerReadCommand::updateWriteCheck() {
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::WRITE, httpServer_->wantWrite(),
                    writeCheck_);
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

#include "rpc/AbstractHttpServerResponseCommand.h"

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

AbstractHttpServerResponseCommand::AbstractHttpServerResponseCommand(
    cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(httpServer),
      timeoutTimer_(global::wallclock()),
      readCheck_(false),
      writeCheck_(false) {
  // The first pass tries to send at once. Polling starts only then: an answer
  // held back by a delay must not keep the loop awake while it waits.
  setStatus(Command::STATUS_ONESHOT_REALTIME);
}

AbstractHttpServerResponseCommand::~AbstractHttpServerResponseCommand() {
  int fd = socket_->getSockfd();
  updateSocketCheck(e_, fd, this, CheckKind::READ, false, readCheck_);
  updateSocketCheck(e_, fd, this, CheckKind::WRITE, false, writeCheck_);
}

void AbstractHttpServerResponseCommand::updateReadWriteCheck() {
  int fd = socket_->getSockfd();
  updateSocketCheck(e_, fd, this, CheckKind::READ, httpServer_->wantRead(), readCheck_);
  // A plain socket that could not take everything wants to write too.
  updateSocketCheck(e_, fd, this, CheckKind::WRITE,
                    httpServer_->wantWrite() || !httpServer_->sendBufferIsEmpty(), writeCheck_);
}

bool AbstractHttpServerResponseCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  try {
    if (httpServer_->sendResponse() > 0) {
      timeoutTimer_ = global::wallclock();
    }
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - Error occurred while transmitting response body.",
                     static_cast<long long>(getCuid())),
                 ex);
    return true;
  }
  if (httpServer_->sendBufferIsEmpty()) {
    QLOG_INFO(fmt("CUID#%lld - HttpServer: all response transmitted.",
                  static_cast<long long>(getCuid())));
    afterSend(httpServer_, e_);
    return true;
  }
  if (timeoutTimer_.difference(global::wallclock()) >= TIMEOUT) {
    QLOG_INFO(fmt("CUID#%lld - HttpServer: Timeout while trasmitting response.",
                  static_cast<long long>(getCuid())));
    return true;
  }
  updateReadWriteCheck();
  e_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace rpc
}  // namespace quarn

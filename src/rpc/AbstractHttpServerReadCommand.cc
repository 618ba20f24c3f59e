#include "rpc/AbstractHttpServerReadCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"

namespace quarn {
namespace rpc {

AbstractHttpServerReadCommand::AbstractHttpServerReadCommand(
    cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : HttpServerConnectionCommand(cuid, httpServer, e, socket) {
  setReadCheck(true);
}

void AbstractHttpServerReadCommand::checkPendingInput() {
  if (getHttpServer()->hasPendingInput()) {
    setStatus(Command::STATUS_ONESHOT_REALTIME);
    getDownloadEngine()->setNoWait(true);
  }
}

bool AbstractHttpServerReadCommand::execute() {
  DownloadEngine* e = getDownloadEngine();
  const auto& socket = getSocket();
  if (e->isHaltRequested()) {
    return true;
  }
  try {
    if (socket->isReadable(0) || (writeCheckRegistered() && socket->isWritable(0)) ||
        getHttpServer()->hasPendingInput() || readyWithoutInput()) {
      madeProgress();
      if (step()) {
        return true;
      }
      // A TLS step may need to write before it can read on.
      setWriteCheck(getHttpServer()->wantWrite());
    } else if (timedOut()) {
      QLOG_INFO(timeoutMessage());
      return true;
    }
    e->addCommand(std::unique_ptr<Command>(this));
    return false;
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - %s", static_cast<long long>(getCuid()), errorMessage()), ex);
    return true;
  }
}

}  // namespace rpc
}  // namespace quarn

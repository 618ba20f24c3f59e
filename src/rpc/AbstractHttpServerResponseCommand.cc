#include "rpc/AbstractHttpServerResponseCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "rpc/HttpServer.h"

namespace quarn {
namespace rpc {

AbstractHttpServerResponseCommand::AbstractHttpServerResponseCommand(
    cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : HttpServerConnectionCommand(cuid, httpServer, e, socket) {
  // The first pass tries to send at once. Polling starts only then: an answer
  // held back by a delay must not keep the loop awake while it waits.
  setStatus(Command::STATUS_ONESHOT_REALTIME);
}

bool AbstractHttpServerResponseCommand::execute() {
  DownloadEngine* e = getDownloadEngine();
  const auto& httpServer = getHttpServer();
  if (e->isHaltRequested()) {
    return true;
  }
  try {
    if (httpServer->sendResponse() > 0) {
      madeProgress();
    }
  } catch (RecoverableException& ex) {
    QLOG_INFO_EX(fmt("CUID#%lld - Error occurred while transmitting response body.",
                     static_cast<long long>(getCuid())),
                 ex);
    return true;
  }
  if (httpServer->sendBufferIsEmpty()) {
    QLOG_INFO(fmt("CUID#%lld - HttpServer: all response transmitted.",
                  static_cast<long long>(getCuid())));
    afterSend(httpServer, e);
    return true;
  }
  if (timedOut()) {
    QLOG_INFO(fmt("CUID#%lld - HttpServer: Timeout while trasmitting response.",
                  static_cast<long long>(getCuid())));
    return true;
  }
  setReadCheck(httpServer->wantRead());
  // A plain socket that could not take everything wants to write too.
  setWriteCheck(httpServer->wantWrite() || !httpServer->sendBufferIsEmpty());
  e->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace rpc
}  // namespace quarn

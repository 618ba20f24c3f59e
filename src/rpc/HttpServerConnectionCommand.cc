#include "rpc/HttpServerConnectionCommand.h"

#include "foundation/wallclock.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"
#include "rpc/socket_check.h"

namespace quarn {
namespace rpc {

namespace {

constexpr std::chrono::seconds TIMEOUT(30);

}  // namespace

HttpServerConnectionCommand::HttpServerConnectionCommand(
    cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer, DownloadEngine* e,
    const std::shared_ptr<SocketCore>& socket)
    : Command(cuid),
      e_(e),
      socket_(socket),
      httpServer_(httpServer),
      timeoutTimer_(global::wallclock()),
      readCheck_(false),
      writeCheck_(false) {}

HttpServerConnectionCommand::~HttpServerConnectionCommand() {
  setReadCheck(false);
  setWriteCheck(false);
}

void HttpServerConnectionCommand::madeProgress() {
  timeoutTimer_ = global::wallclock();
}

bool HttpServerConnectionCommand::timedOut() const {
  return timeoutTimer_.difference(global::wallclock()) >= TIMEOUT;
}

void HttpServerConnectionCommand::setReadCheck(bool want) {
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::READ, want, readCheck_);
}

void HttpServerConnectionCommand::setWriteCheck(bool want) {
  updateSocketCheck(e_, socket_->getSockfd(), this, CheckKind::WRITE, want, writeCheck_);
}

}  // namespace rpc
}  // namespace quarn

#include "client/http/AbstractProxyResponseCommand.h"

#include "client/http/HttpConnection.h"
#include "client/http/HttpResponse.h"
#include "engine/DownloadEngine.h"
#include "foundation/DlRetryEx.h"
#include "foundation/i18n.h"

namespace quarn {

AbstractProxyResponseCommand::AbstractProxyResponseCommand(
    cuid_t cuid, std::shared_ptr<Request> req, std::shared_ptr<FileEntry> fileEntry,
    RequestGroup* requestGroup, std::shared_ptr<HttpConnection> httpConnection, DownloadEngine* e,
    std::shared_ptr<SocketCore> s)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, std::move(s),
                      httpConnection->getSocketRecvBuffer()),
      httpConnection_(std::move(httpConnection)) {}

AbstractProxyResponseCommand::~AbstractProxyResponseCommand() = default;

bool AbstractProxyResponseCommand::executeInternal() {
  auto response = httpConnection_->receiveResponse();
  if (!response) {
    addCommandSelf();
    return false;
  }
  if (response->getStatusCode() != 200) {
    throw DL_RETRY_EX(_("Proxy connection failed."));
  }
  getDownloadEngine()->addCommand(getNextCommand());
  return true;
}

}  // namespace quarn

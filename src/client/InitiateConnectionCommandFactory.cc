#include "client/InitiateConnectionCommandFactory.h"

#include "client/FtpInitiateConnectionCommand.h"
#include "client/HttpInitiateConnectionCommand.h"
#include "client/Request.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

std::unique_ptr<Command> InitiateConnectionCommandFactory::createInitiateConnectionCommand(
    cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
    RequestGroup* requestGroup, DownloadEngine* e) {
  const std::string& protocol = req->getProtocol();
  if (protocol == "http" || protocol == "https") {
    const auto& option = requestGroup->getOption();
    if (option->getAsBool(PREF_ENABLE_HTTP_KEEP_ALIVE)) {
      req->setKeepAliveHint(true);
    }
    if (option->getAsBool(PREF_ENABLE_HTTP_PIPELINING)) {
      req->setPipeliningHint(true);
    }
    return std::make_unique<HttpInitiateConnectionCommand>(cuid, req, fileEntry, requestGroup, e);
  }
  if (protocol == "ftp" || protocol == "sftp") {
    if (req->getFile().empty()) {
      throw DL_ABORT_EX(fmt("FTP/SFTP URI %s doesn't contain file path.", req->getUri().c_str()));
    }
    return std::make_unique<FtpInitiateConnectionCommand>(cuid, req, fileEntry, requestGroup, e);
  }
  throw DL_ABORT_EX(fmt("%s is not supported yet.", protocol.c_str()));
}

}  // namespace quarn

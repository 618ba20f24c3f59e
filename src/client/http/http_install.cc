#include "client/http/http_install.h"

#include <memory>

#include "client/common/InitiateConnectionCommandFactory.h"
#include "client/http/HttpInitiateConnectionCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "storage/Request.h"

namespace quarn {

void installHttp(DownloadEngine& engine) {
  InitiateConnectionCommandFactory::of(engine).add(
      {"http", "https"},
      [](cuid_t cuid, const std::shared_ptr<Request>& req,
         const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
         DownloadEngine* e) -> std::unique_ptr<Command> {
        const auto& option = requestGroup->getOption();
        if (option->getAsBool(PREF_ENABLE_HTTP_KEEP_ALIVE)) {
          req->setKeepAliveHint(true);
        }
        if (option->getAsBool(PREF_ENABLE_HTTP_PIPELINING)) {
          req->setPipeliningHint(true);
        }
        return std::make_unique<HttpInitiateConnectionCommand>(cuid, req, fileEntry, requestGroup,
                                                               e);
      });
}

}  // namespace quarn

#include "client/ftp/ftp_install.h"

#include <memory>

#include "client/common/InitiateConnectionCommandFactory.h"
#include "client/ftp/FtpInitiateConnectionCommand.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "storage/Request.h"

namespace quarn {

void installFtp(DownloadEngine& engine) {
  InitiateConnectionCommandFactory::of(engine).add(
      {"ftp", "sftp"},
      [](cuid_t cuid, const std::shared_ptr<Request>& req,
         const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
         DownloadEngine* e) -> std::unique_ptr<Command> {
        if (req->getFile().empty()) {
          throw DL_ABORT_EX(
              fmt("FTP/SFTP URI %s doesn't contain file path.", req->getUri().c_str()));
        }
        return std::make_unique<FtpInitiateConnectionCommand>(cuid, req, fileEntry, requestGroup,
                                                              e);
      });
}

}  // namespace quarn

#pragma once

#include <memory>

#include "client/common/AbstractCommand.h"
#include "foundation/Timer.h"

namespace quarn {

// Closes the remote file and pools the still authenticated SSH connection.
// Never fails the download.
class SftpFinishDownloadCommand : public AbstractCommand {
 public:
  SftpFinishDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                            const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                            DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~SftpFinishDownloadCommand() override;

  bool execute() override;

 protected:
  bool executeInternal() override { return true; }

 private:
  Timer checkPoint_;
};

}  // namespace quarn

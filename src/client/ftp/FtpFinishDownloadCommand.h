#pragma once

#include <memory>

#include "client/common/AbstractCommand.h"
#include "foundation/Timer.h"

namespace quarn {

class FtpConnection;

// Waits for the server's reply after a transfer and pools the control
// connection when it is 226. Never fails the download.
class FtpFinishDownloadCommand : public AbstractCommand {
 public:
  FtpFinishDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                           const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                           const std::shared_ptr<FtpConnection>& ftpConnection, DownloadEngine* e,
                           const std::shared_ptr<SocketCore>& ctrlSocket);
  ~FtpFinishDownloadCommand() override;

  bool execute() override;

 protected:
  bool executeInternal() override { return true; }

 private:
  std::shared_ptr<FtpConnection> ftpConnection_;
  Timer checkPoint_;
};

}  // namespace quarn

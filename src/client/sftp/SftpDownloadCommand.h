#pragma once

#include <memory>

#include "client/common/DownloadCommand.h"

namespace quarn {

class AuthConfig;

// Reads a remote file through the SSH session.
class SftpDownloadCommand : public DownloadCommand {
 public:
  SftpDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                      const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                      DownloadEngine* e, const std::shared_ptr<SocketCore>& socket,
                      std::unique_ptr<AuthConfig> authConfig);
  ~SftpDownloadCommand() override;

 protected:
  bool prepareForNextSegment() override;
  int64_t getRequestEndOffset() const override;
  bool shouldEnableWriteCheck() override;

 private:
  std::unique_ptr<AuthConfig> authConfig_;
};

}  // namespace quarn

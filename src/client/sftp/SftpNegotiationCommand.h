#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/common/AbstractCommand.h"

namespace quarn {

class AuthConfig;

// The SSH and SFTP dialogue of one connection: handshake with the optional
// host-key check, password login, opening and stat-ing the remote file, file
// preparation and the seek to the resume position.
class SftpNegotiationCommand : public AbstractCommand {
 public:
  enum Seq {
    SEQ_HANDSHAKE = 0,
    SEQ_AUTH_PASSWORD,
    SEQ_SFTP_OPEN,
    SEQ_SFTP_STAT,
    SEQ_SFTP_SEEK,
    SEQ_NEGOTIATION_COMPLETED,
    SEQ_DOWNLOAD_ALREADY_COMPLETED,
    SEQ_HEAD_OK,
    SEQ_FILE_PREPARATION,
    SEQ_EXIT,
  };

  SftpNegotiationCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                         const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                         DownloadEngine* e, const std::shared_ptr<SocketCore>& socket,
                         Seq seq = SEQ_HANDSHAKE);
  ~SftpNegotiationCommand() override;

 protected:
  bool executeInternal() override;

 private:
  // One step; false when the SSH layer would block.
  bool step();
  void onFileSizeDetermined(int64_t totalLength);
  void onDryRunFileFound();
  void poolConnection() const;
  void startDownload();

  Seq sequence_;
  std::unique_ptr<AuthConfig> authConfig_;
  std::string path_;
  std::string hashType_;
  std::string digest_;
};

}  // namespace quarn

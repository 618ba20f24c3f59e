#pragma once

#include <memory>

#include "client/common/DownloadCommand.h"

namespace quarn {

class FtpConnection;

// Reads a file from the FTP data connection; at the end of the file hands
// the control connection to FtpFinishDownloadCommand for the final reply.
class FtpDownloadCommand : public DownloadCommand {
 public:
  FtpDownloadCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                     const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                     const std::shared_ptr<FtpConnection>& ftpConnection, DownloadEngine* e,
                     const std::shared_ptr<SocketCore>& dataSocket,
                     const std::shared_ptr<SocketCore>& ctrlSocket);
  ~FtpDownloadCommand() override;

 protected:
  bool executeInternal() override;
  bool prepareForNextSegment() override;
  int64_t getRequestEndOffset() const override;

 private:
  // Of a file of unknown size only the server's final reply tells a whole
  // transfer from an aborted one: the end of the data stream is taken as the
  // end of the file only once that reply said so.
  bool dataStreamEnded();
  bool receiveFinalReply();

  std::shared_ptr<FtpConnection> ftpConnection_;
  std::shared_ptr<SocketCore> ctrlSocket_;
  bool awaitingFinalReply_;
  bool finalReplyReceived_;
};

}  // namespace quarn

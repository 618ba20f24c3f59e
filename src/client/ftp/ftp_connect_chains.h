#pragma once

#include "client/common/ConnectCommand.h"
#include "client/common/ControlChain.h"

namespace quarn {

// After a direct connect to an FTP server: the FTP dialogue from the greeting.
class FtpNegotiationConnectChain : public ControlChain<ConnectCommand*> {
 public:
  int run(ConnectCommand* t, DownloadEngine* e) override;
};

// After a direct connect to an SSH server: the SFTP dialogue from the handshake.
class SftpNegotiationConnectChain : public ControlChain<ConnectCommand*> {
 public:
  int run(ConnectCommand* t, DownloadEngine* e) override;
};

// After a connect to a tunnelling proxy for an FTP or SFTP server: CONNECT first.
class FtpTunnelRequestConnectChain : public ControlChain<ConnectCommand*> {
 public:
  int run(ConnectCommand* t, DownloadEngine* e) override;
};

}  // namespace quarn

#pragma once

#include <memory>

#include "client/common/AbstractCommand.h"
#include "client/common/ControlChain.h"

namespace quarn {

class BackupConnectInfo;

// Waits until a non-blocking connect completes, checks the outcome and passes
// the connected socket on through its chain. An IPv4 backup connect that wins
// first is taken over instead.
class ConnectCommand : public AbstractCommand {
 public:
  ConnectCommand(cuid_t cuid, std::shared_ptr<Request> req, std::shared_ptr<Request> proxyRequest,
                 std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                 DownloadEngine* e, std::shared_ptr<SocketCore> s);
  ~ConnectCommand() override;

  void setControlChain(std::shared_ptr<ControlChain<ConnectCommand*>> chain) {
    chain_ = std::move(chain);
  }
  void setBackupConnectInfo(std::shared_ptr<BackupConnectInfo> info) {
    backupConnectInfo_ = std::move(info);
  }
  const std::shared_ptr<Request>& getProxyRequest() const { return proxyRequest_; }

 protected:
  bool executeInternal() override;
  bool noCheck() const override;

 private:
  std::shared_ptr<Request> proxyRequest_;
  std::shared_ptr<BackupConnectInfo> backupConnectInfo_;
  std::shared_ptr<ControlChain<ConnectCommand*>> chain_;
};

}  // namespace quarn

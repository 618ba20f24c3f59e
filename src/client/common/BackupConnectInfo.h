#pragma once

#include <memory>
#include <string>

namespace quarn {

class SocketCore;

// Shared by a connect and its IPv4 backup: the backup's winning address and
// socket, and the main connect's wish to stop the backup.
class BackupConnectInfo {
 public:
  std::string ipaddr;
  std::shared_ptr<SocketCore> socket;
  bool cancel = false;
};

}  // namespace quarn

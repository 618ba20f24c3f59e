#pragma once

#include <cstdint>
#include <memory>

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

// Accepts control connections on one address family.
class HttpListenCommand : public Command {
 public:
  HttpListenCommand(cuid_t cuid, DownloadEngine* e, int family, bool secure);
  ~HttpListenCommand() override;

  bool execute() override;
  // False (with the reason logged) when the port cannot be bound.
  bool bindPort(uint16_t port);

 private:
  DownloadEngine* e_;
  int family_;
  std::shared_ptr<SocketCore> serverSocket_;
  bool secure_;
};

}  // namespace rpc
}  // namespace quarn

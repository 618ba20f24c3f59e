#pragma once

#include "client/common/InitiateConnectionCommand.h"

namespace quarn {

// Obtains the connection of an "http" or "https" request: a pooled one, or a
// fresh non-blocking connect, directly, through a GET proxy or a tunnel.
class HttpInitiateConnectionCommand : public InitiateConnectionCommand {
 public:
  using InitiateConnectionCommand::InitiateConnectionCommand;

 protected:
  std::unique_ptr<Command> createNextCommand(const std::string& hostname, const std::string& addr,
                                             uint16_t port,
                                             const std::vector<std::string>& resolvedAddresses,
                                             const std::shared_ptr<Request>& proxyRequest) override;

 private:
  std::unique_ptr<Command> createRequestCommand(const std::shared_ptr<SocketCore>& socket,
                                                const std::shared_ptr<Request>& proxyRequest);
  std::unique_ptr<Command> createConnectCommand(const std::string& hostname,
                                                const std::string& addr, uint16_t port,
                                                const std::shared_ptr<Request>& proxyRequest,
                                                bool tunnel);
};

}  // namespace quarn

#pragma once

#include "client/http/AbstractProxyResponseCommand.h"

namespace quarn {

class HttpProxyResponseCommand : public AbstractProxyResponseCommand {
 public:
  using AbstractProxyResponseCommand::AbstractProxyResponseCommand;

 protected:
  std::unique_ptr<Command> getNextCommand() override;
};

}  // namespace quarn

#pragma once

#include "client/http/AbstractProxyRequestCommand.h"

namespace quarn {

class HttpProxyRequestCommand : public AbstractProxyRequestCommand {
 public:
  using AbstractProxyRequestCommand::AbstractProxyRequestCommand;

 protected:
  std::unique_ptr<Command> getNextCommand() override;
};

}  // namespace quarn

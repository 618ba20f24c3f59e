#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

// Picks the file and a request for a new connection of a download.
class CreateRequestCommand : public AbstractCommand {
 public:
  CreateRequestCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e);

 protected:
  bool executeInternal() override;
};

}  // namespace quarn

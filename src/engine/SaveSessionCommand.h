#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Saves the session file every interval when its content changed.
class SaveSessionCommand : public TimeBasedCommand {
 public:
  SaveSessionCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval);

 protected:
  void preProcess() override;
  void process() override;
};

}  // namespace quarn

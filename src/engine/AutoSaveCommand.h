#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Writes the control files of the active downloads every interval.
class AutoSaveCommand : public TimeBasedCommand {
 public:
  AutoSaveCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval);

 protected:
  void preProcess() override;
  void process() override;
};

}  // namespace quarn

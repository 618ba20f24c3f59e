#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Drops the "have" announcements older than 5 seconds of every active
// download.
class HaveEraseCommand : public TimeBasedCommand {
 public:
  HaveEraseCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval);

 protected:
  void preProcess() override;
  void process() override;
};

}  // namespace quarn

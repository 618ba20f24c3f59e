#pragma once

#include <cstdint>

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Halts the run once the watched process is gone. An id no process can have
// counts as gone at the first check.
class WatchProcessCommand : public TimeBasedCommand {
 public:
  WatchProcessCommand(cuid_t cuid, DownloadEngine* e, int64_t pid, bool forceHalt = false);

 protected:
  void preProcess() override;
  void process() override;

 private:
  int64_t pid_;
  bool forceHalt_;
};

}  // namespace quarn

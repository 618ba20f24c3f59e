#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Halts the run once its interval has passed.
class TimedHaltCommand : public TimeBasedCommand {
 public:
  TimedHaltCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds secondsToHalt,
                   bool forceHalt = false);

 protected:
  void preProcess() override;
  void process() override;

 private:
  bool forceHalt_;
};

}  // namespace quarn

#pragma once

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;

// The routine command that processes stopped downloads and starts waiting
// ones whenever the download manager asks for a queue check.
class FillRequestGroupCommand : public Command {
 public:
  // A fill that throws is tried again at once, but only this many times in one
  // loop turn: a fill that always fails (an unreadable input list) must not
  // keep the turn from ending, or signals would never be acted on.
  static constexpr int MAX_FILL_ATTEMPTS_PER_TURN = 5;

  FillRequestGroupCommand(cuid_t cuid, DownloadEngine* e);

  bool execute() override;

 private:
  DownloadEngine* e_;
  Timer checkPoint_;
};

}  // namespace quarn

#pragma once

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class RequestGroupMan;

// Starts waiting downloads whenever the download manager asks for a queue
// check; ends when a halt is requested or every download is finished.
class FillRequestGroupCommand : public Command {
 public:
  // Failed fills retried within one turn; further retries wait for the next
  // turn, so a fill that always fails cannot hold the loop.
  static constexpr int MAX_FILL_FAILURES_PER_TURN = 5;

  FillRequestGroupCommand(cuid_t cuid, DownloadEngine* e);

  bool execute() override;

 private:
  // Fills until no queue check is asked for; false when it gave up after too
  // many failures, with the check left asked for the next turn.
  bool fill(RequestGroupMan* rgman);

  DownloadEngine* e_;
  Timer checkPoint_;
};

}  // namespace quarn

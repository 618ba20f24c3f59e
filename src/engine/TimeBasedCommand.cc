#include "engine/TimeBasedCommand.h"

#include <memory>

#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/wallclock.h"

namespace quarn {

TimeBasedCommand::TimeBasedCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval,
                                   bool routineCommand)
    : Command(cuid),
      e_(e),
      checkPoint_(global::wallclock()),
      interval_(interval),
      exit_(false),
      routineCommand_(routineCommand) {}

void TimeBasedCommand::exitWhenRunIsOver() {
  if (e_->getRequestGroupMan()->downloadFinished() || e_->isHaltRequested()) {
    enableExit();
  }
}

bool TimeBasedCommand::execute() {
  preProcess();
  if (exit_) {
    return true;
  }
  if (checkPoint_.difference(global::wallclock()) >= interval_) {
    checkPoint_ = global::wallclock();
    process();
    if (exit_) {
      return true;
    }
  }
  postProcess();
  if (exit_) {
    return true;
  }
  if (routineCommand_) {
    e_->addRoutineCommand(std::unique_ptr<Command>(this));
  } else {
    e_->addCommand(std::unique_ptr<Command>(this));
  }
  return false;
}

}  // namespace quarn

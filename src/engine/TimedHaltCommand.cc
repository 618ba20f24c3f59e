#include "engine/TimedHaltCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

TimedHaltCommand::TimedHaltCommand(cuid_t cuid, DownloadEngine* e,
                                   std::chrono::seconds secondsToHalt, bool forceHalt)
    : TimeBasedCommand(cuid, e, secondsToHalt, true), forceHalt_(forceHalt) {}

void TimedHaltCommand::preProcess() {
  exitWhenRunIsOver();
}

void TimedHaltCommand::process() {
  if (!getDownloadEngine()->isHaltRequested()) {
    QLOG_NOTICE(fmt(_("%ld second(s) has passed. Stopping application."),
                    static_cast<long>(getInterval().count())));
    if (forceHalt_) {
      getDownloadEngine()->requestForceHalt();
    } else {
      getDownloadEngine()->requestHalt();
    }
    enableExit();
  }
}

}  // namespace quarn

#include "engine/WatchProcessCommand.h"

#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "platform/process_alive.h"

namespace quarn {

WatchProcessCommand::WatchProcessCommand(cuid_t cuid, DownloadEngine* e, int64_t pid,
                                         bool forceHalt)
    : TimeBasedCommand(cuid, e, std::chrono::seconds(1), true), pid_(pid), forceHalt_(forceHalt) {}

void WatchProcessCommand::preProcess() {
  exitWhenRunIsOver();
}

void WatchProcessCommand::process() {
  QLOG_DEBUG(fmt("Checking proess %lld", static_cast<long long>(pid_)));
  if (platform::processAlive(pid_)) {
    return;
  }
  QLOG_INFO(fmt("CUID#%lld - Process %lld is not running. Commencing shutdown.",
                static_cast<long long>(getCuid()), static_cast<long long>(pid_)));
  if (forceHalt_) {
    getDownloadEngine()->requestForceHalt();
  } else {
    getDownloadEngine()->requestHalt();
  }
  enableExit();
}

}  // namespace quarn

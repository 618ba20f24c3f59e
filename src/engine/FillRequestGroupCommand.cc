#include "engine/FillRequestGroupCommand.h"

#include <chrono>
#include <memory>

#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"
#include "foundation/wallclock.h"

namespace quarn {

FillRequestGroupCommand::FillRequestGroupCommand(cuid_t cuid, DownloadEngine* e)
    : Command(cuid), e_(e) {
  setStatusRealtime();
}

bool FillRequestGroupCommand::fill(RequestGroupMan* rgman) {
  int failures = 0;
  while (rgman->queueCheckRequested()) {
    rgman->clearQueueCheck();
    try {
      rgman->fillRequestGroupFromReserver(e_);
    } catch (RecoverableException& ex) {
      QLOG_ERROR_EX(_("Exception caught"), ex);
      rgman->requestQueueCheck();
      if (++failures >= MAX_FILL_FAILURES_PER_TURN) {
        return false;
      }
    }
  }
  return true;
}

bool FillRequestGroupCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  RequestGroupMan* rgman = e_->getRequestGroupMan();
  if (rgman->collectDiskSyncs()) {
    // A worker's sync ends without an event the poll could see: look again
    // soon rather than at the next refresh.
    e_->setRefreshInterval(std::chrono::milliseconds(1));
  }
  if (rgman->queueCheckRequested() && fill(rgman) && rgman->downloadFinished()) {
    return true;
  }
  e_->addRoutineCommand(std::unique_ptr<Command>(this));
  if (rgman->getOptimizeConcurrentDownloads() &&
      checkPoint_.difference(global::wallclock()) >= std::chrono::seconds(1)) {
    checkPoint_ = global::wallclock();
    // Re-evaluates the concurrency limit once a second.
    rgman->requestQueueCheck();
  }
  return false;
}

}  // namespace quarn

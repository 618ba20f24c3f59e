#include "engine/FillRequestGroupCommand.h"

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

bool FillRequestGroupCommand::execute() {
  if (e_->isHaltRequested()) {
    return true;
  }
  auto* rgman = e_->getRequestGroupMan();
  for (int attempt = 0; rgman->queueCheckRequested() && attempt < MAX_FILL_ATTEMPTS_PER_TURN;
       ++attempt) {
    rgman->clearQueueCheck();
    try {
      rgman->fillRequestGroupFromReserver(e_);
    } catch (RecoverableException& ex) {
      QLOG_ERROR_EX(_("Exception caught"), ex);
      // Tried again in this turn while attempts are left, else in the next.
      rgman->requestQueueCheck();
    }
  }
  if (!rgman->queueCheckRequested() && rgman->downloadFinished()) {
    return true;
  }
  e_->addRoutineCommand(std::unique_ptr<Command>(this));
  if (rgman->getOptimizeConcurrentDownloads() &&
      checkPoint_.difference(global::wallclock()) >= std::chrono::seconds(1)) {
    checkPoint_ = global::wallclock();
    rgman->requestQueueCheck();
  }
  return false;
}

}  // namespace quarn

#include "bittorrent/BtStopDownloadCommand.h"

#include "bittorrent/BtRuntime.h"
#include "engine/DownloadEngine.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/wallclock.h"
#include "storage/PieceStorage.h"

namespace quarn {

BtStopDownloadCommand::BtStopDownloadCommand(cuid_t cuid, RequestGroup* requestGroup,
                                             DownloadEngine* engine, std::chrono::seconds timeout)
    : TimeBasedCommand(cuid, engine, std::chrono::seconds(1)),
      requestGroup_(requestGroup),
      timeout_(timeout),
      checkPoint_(global::wallclock()) {}

void BtStopDownloadCommand::preProcess() {
  if (btRuntime_->isHalt() || pieceStorage_->downloadFinished()) {
    enableExit();
    return;
  }
  if (checkPoint_.difference(global::wallclock()) >= timeout_) {
    QLOG_NOTICE(fmt(_("GID#%s Stop downloading torrent due to --bt-stop-timeout option."),
                    GroupId::toHex(requestGroup_->getGID()).c_str()));
    requestGroup_->setForceHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
    getDownloadEngine()->setRefreshInterval(std::chrono::milliseconds(0));
    enableExit();
  }
}

void BtStopDownloadCommand::process() {
  if (requestGroup_->calculateStat().downloadSpeed > 0) {
    checkPoint_ = global::wallclock();
  }
}

}  // namespace quarn

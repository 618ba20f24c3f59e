#include "bittorrent/SeedCheckCommand.h"

#include <chrono>

#include "bittorrent/BtRuntime.h"
#include "bittorrent/SeedCriteria.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/i18n.h"
#include "storage/PieceStorage.h"

namespace quarn {

SeedCheckCommand::SeedCheckCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* engine,
                                   std::unique_ptr<SeedCriteria> seedCriteria)
    : Command(cuid),
      requestGroup_(requestGroup),
      engine_(engine),
      seedCriteria_(std::move(seedCriteria)) {
  setStatusRealtime();
  requestGroup_->increaseNumCommand();
}

SeedCheckCommand::~SeedCheckCommand() {
  requestGroup_->decreaseNumCommand();
}

bool SeedCheckCommand::execute() {
  if (btRuntime_->isHalt()) {
    return true;
  }
  if (!checkStarted_ && pieceStorage_->downloadFinished()) {
    // Seeding time counts from completion.
    checkStarted_ = true;
    seedCriteria_->reset();
  }
  if (checkStarted_ && seedCriteria_->evaluate()) {
    QLOG_NOTICE(_("Seeding is over."));
    btRuntime_->setHalt(true);
    // Every command of the torrent sees the halt on the next pass, so the
    // trackers are told without waiting for the periodic one.
    engine_->setRefreshInterval(std::chrono::milliseconds(0));
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn

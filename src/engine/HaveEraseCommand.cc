#include "engine/HaveEraseCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/wallclock.h"
#include "storage/PieceStorage.h"

namespace quarn {

HaveEraseCommand::HaveEraseCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval, true) {}

void HaveEraseCommand::preProcess() {
  exitWhenRunIsOver();
}

void HaveEraseCommand::process() {
  Timer expiry(global::wallclock().getTime() - std::chrono::seconds(5));
  for (const auto& [gid, group] : getDownloadEngine()->getRequestGroupMan()->getRequestGroups()) {
    const auto& ps = group->getPieceStorage();
    if (ps) {
      ps->removeAdvertisedPiece(expiry);
    }
  }
}

}  // namespace quarn

#include "engine/AutoSaveCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"

namespace quarn {

AutoSaveCommand::AutoSaveCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval, true) {}

void AutoSaveCommand::preProcess() {
  exitWhenRunIsOver();
}

void AutoSaveCommand::process() {
  getDownloadEngine()->getRequestGroupMan()->save();
}

}  // namespace quarn

#include "net/EvictSocketPoolCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"

namespace quarn {

EvictSocketPoolCommand::EvictSocketPoolCommand(cuid_t cuid, DownloadEngine* e,
                                               std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval, true) {}

void EvictSocketPoolCommand::preProcess() {
  DownloadEngine* e = getDownloadEngine();
  if (e->getRequestGroupMan()->downloadFinished() || e->isHaltRequested()) {
    enableExit();
  }
}

void EvictSocketPoolCommand::process() {
  getDownloadEngine()->evictSocketPool();
}

}  // namespace quarn

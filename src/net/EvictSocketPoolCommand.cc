#include "net/EvictSocketPoolCommand.h"

#include "engine/DownloadEngine.h"

namespace quarn {

EvictSocketPoolCommand::EvictSocketPoolCommand(cuid_t cuid, DownloadEngine* e,
                                               std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval, true) {}

void EvictSocketPoolCommand::preProcess() {
  exitWhenRunIsOver();
}

void EvictSocketPoolCommand::process() {
  getDownloadEngine()->evictSocketPool();
}

}  // namespace quarn

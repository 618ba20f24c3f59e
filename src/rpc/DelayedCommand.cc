#include "rpc/DelayedCommand.h"

#include "engine/DownloadEngine.h"

namespace quarn {
namespace rpc {

DelayedCommand::DelayedCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds delay,
                               std::unique_ptr<Command> command, bool noWait)
    : TimeBasedCommand(cuid, e, delay), command_(std::move(command)), noWait_(noWait) {}

void DelayedCommand::process() {
  auto* e = getDownloadEngine();
  e->addCommand(std::move(command_));
  if (noWait_) {
    e->setNoWait(true);
  }
  enableExit();
}

}  // namespace rpc
}  // namespace quarn

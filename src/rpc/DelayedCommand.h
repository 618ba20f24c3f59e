#pragma once

#include <memory>

#include "engine/TimeBasedCommand.h"

namespace quarn {
namespace rpc {

// Starts a command once an interval has passed: answers to calls that failed
// the token check are held back this way, never by sleeping.
class DelayedCommand : public TimeBasedCommand {
 public:
  DelayedCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds delay,
                 std::unique_ptr<Command> command, bool noWait);

 protected:
  void process() override;

 private:
  std::unique_ptr<Command> command_;
  bool noWait_;
};

}  // namespace rpc
}  // namespace quarn

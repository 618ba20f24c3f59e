#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Drops expired entries of the engine's socket pool every interval.
class EvictSocketPoolCommand : public TimeBasedCommand {
 public:
  EvictSocketPoolCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval);

 protected:
  void preProcess() override;
  void process() override;
};

}  // namespace quarn

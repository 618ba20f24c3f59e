#pragma once

#include <chrono>

#include "engine/TimeBasedCommand.h"

namespace quarn {

// Periodically drops the engine's pooled idle connections whose keep time
// has passed; ends once every download is finished or a halt is requested.
class EvictSocketPoolCommand : public TimeBasedCommand {
 public:
  EvictSocketPoolCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval);

 protected:
  void preProcess() override;
  void process() override;
};

}  // namespace quarn

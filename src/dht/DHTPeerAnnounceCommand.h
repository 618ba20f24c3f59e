#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

class DHTPeerAnnounceStorage;

// Purges stale announced peers every interval.
class DHTPeerAnnounceCommand : public TimeBasedCommand {
 public:
  using TimeBasedCommand::TimeBasedCommand;
  void setPeerAnnounceStorage(DHTPeerAnnounceStorage* storage) { storage_ = storage; }

 protected:
  void preProcess() override { exitWhenRunIsOver(); }
  void process() override;

 private:
  DHTPeerAnnounceStorage* storage_ = nullptr;
};

}  // namespace quarn

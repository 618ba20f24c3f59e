#pragma once

#include "engine/TimeBasedCommand.h"

namespace quarn {

class DHTTokenTracker;

// Rotates the token secret every interval.
class DHTTokenUpdateCommand : public TimeBasedCommand {
 public:
  using TimeBasedCommand::TimeBasedCommand;
  void setTokenTracker(DHTTokenTracker* tracker) { tokenTracker_ = tracker; }

 protected:
  void preProcess() override { exitWhenRunIsOver(); }
  void process() override;

 private:
  DHTTokenTracker* tokenTracker_ = nullptr;
};

}  // namespace quarn

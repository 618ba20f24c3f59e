#pragma once

#include <chrono>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;

// A command whose process() runs every interval, first one interval after
// construction. It re-queues itself as a routine or a normal command.
class TimeBasedCommand : public Command {
 public:
  TimeBasedCommand(cuid_t cuid, DownloadEngine* e, std::chrono::seconds interval,
                   bool routineCommand = false);

  bool execute() final;

 protected:
  virtual void preProcess() {}
  virtual void process() = 0;
  virtual void postProcess() {}

  DownloadEngine* getDownloadEngine() const { return e_; }
  void enableExit() { exit_ = true; }
  // Ends the command once every download is finished or a halt is requested.
  void exitWhenRunIsOver();
  bool isExit() const { return exit_; }
  std::chrono::seconds getInterval() const { return interval_; }

 private:
  DownloadEngine* e_;
  Timer checkPoint_;
  std::chrono::seconds interval_;
  bool exit_;
  bool routineCommand_;
};

}  // namespace quarn

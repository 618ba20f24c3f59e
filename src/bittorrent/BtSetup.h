#pragma once

#include <memory>
#include <vector>

namespace quarn {

class Command;
class DownloadEngine;
class Option;
class RequestGroup;

// Makes a torrent live once its storage is ready: trackers, choking, outgoing
// and incoming peer connections, seeding and stall checks.
class BtSetup {
 public:
  // Commands for the engine go to `commands`; the listeners, made once per
  // run, go to the engine at once. Does nothing for a download that is not a
  // torrent. DlAbortEx when no peer port could be bound.
  void setup(std::vector<std::unique_ptr<Command>>& commands, RequestGroup* group,
             DownloadEngine* e, const Option& option);

 private:
  void bindListeners(DownloadEngine* e, const Option& option);
};

}  // namespace quarn

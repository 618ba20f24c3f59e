#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class BtRegistry;
class BtRuntime;
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
  // Local peer discovery: the process's receiver when there is none yet, and
  // this torrent's announcer.
  void setupLpd(DownloadEngine* e, const Option& option, BtRegistry& registry,
                const std::string& infoHash, const std::shared_ptr<BtRuntime>& runtime);
};

}  // namespace quarn

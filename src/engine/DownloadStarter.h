#pragma once

#include <memory>
#include <vector>

#include "engine/Command.h"
#include "engine/EngineService.h"

namespace quarn {

class DownloadEngine;
class RequestGroup;

// How the downloads of one kind get their commands. A protocol installs its
// starter as an engine service at set-up; RequestGroup asks the engine for it
// instead of knowing the protocol's commands.
class UriDownloadStarter : public EngineService {
 public:
  // One command that picks a URI of the download and connects to it.
  virtual std::unique_ptr<Command> createConnectionCommand(cuid_t cuid, RequestGroup* group,
                                                           DownloadEngine* engine) = 0;
};

// The commands of a download described by torrent metadata (peers, trackers,
// seeding), once its storage is ready.
class TorrentDownloadStarter : public EngineService {
 public:
  virtual void createInitialCommands(std::vector<std::unique_ptr<Command>>& commands,
                                     RequestGroup* group, DownloadEngine* engine) = 0;
};

}  // namespace quarn

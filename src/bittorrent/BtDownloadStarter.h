#pragma once

#include "engine/DownloadStarter.h"

namespace quarn {

// Starts torrent and magnet downloads: registers the torrent's runtime, peers
// and announcer, opens (or resumes) its files and hands it to the integrity
// check, after which the swarm commands start.
class BtDownloadStarter : public TorrentDownloadStarter {
 public:
  void createInitialCommands(std::vector<std::unique_ptr<Command>>& commands, RequestGroup* group,
                             DownloadEngine* engine) override;
};

}  // namespace quarn

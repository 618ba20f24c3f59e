#pragma once

#include "engine/PieceHashCheckIntegrityEntry.h"

namespace quarn {

// The check of a torrent's existing data against its piece hashes; after it
// the torrent goes on to allocation and its swarm commands.
class BtCheckIntegrityEntry : public PieceHashCheckIntegrityEntry {
 public:
  explicit BtCheckIntegrityEntry(RequestGroup* requestGroup);
  ~BtCheckIntegrityEntry() override;

  void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* e) override;
  void onDownloadFinished(std::vector<std::unique_ptr<Command>>& commands,
                          DownloadEngine* e) override;
};

}  // namespace quarn

#pragma once

#include "engine/FileAllocationEntry.h"

namespace quarn {

// A torrent's file allocation; once the space is reserved the torrent's
// swarm commands start (and its web seeds, when it has any).
class BtFileAllocationEntry : public FileAllocationEntry {
 public:
  explicit BtFileAllocationEntry(RequestGroup* requestGroup);
  ~BtFileAllocationEntry() override;

  void prepareForNextAction(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* e) override;
};

}  // namespace quarn

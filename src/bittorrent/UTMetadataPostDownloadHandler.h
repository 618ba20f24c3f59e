#pragma once

#include <memory>
#include <vector>

#include "engine/PostDownloadHandler.h"

namespace quarn {

// Turns the finished metadata download of a magnet link into the torrent
// download it describes, and saves the torrent file when asked to. Metadata
// whose digest is not the link's info hash is never used.
class UTMetadataPostDownloadHandler : public PostDownloadHandler {
 public:
  UTMetadataPostDownloadHandler();

  void getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                            RequestGroup* requestGroup) const override;
};

}  // namespace quarn

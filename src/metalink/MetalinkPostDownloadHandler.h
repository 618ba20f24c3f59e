#pragma once

#include <memory>
#include <vector>

#include "engine/PostDownloadHandler.h"

namespace quarn {

// Turns a finished download of a Metalink document, on disk or in memory,
// into the downloads it describes.
class MetalinkPostDownloadHandler : public PostDownloadHandler {
 public:
  MetalinkPostDownloadHandler();

  void getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                            RequestGroup* requestGroup) const override;
};

}  // namespace quarn

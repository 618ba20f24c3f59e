#pragma once

#include <memory>
#include <vector>

#include "engine/DownloadHandler.h"

namespace quarn {

// Runs when a download has completed; appends the downloads it describes.
class PostDownloadHandler : public DownloadHandler {
 public:
  virtual void getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                    RequestGroup* requestGroup) const = 0;
};

}  // namespace quarn

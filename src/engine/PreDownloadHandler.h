#pragma once

#include "engine/DownloadHandler.h"

namespace quarn {

// Runs once the file name of a download is known, before data is written.
class PreDownloadHandler : public DownloadHandler {
 public:
  virtual void execute(RequestGroup* requestGroup) const = 0;
};

}  // namespace quarn

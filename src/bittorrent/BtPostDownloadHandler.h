#pragma once

#include <memory>
#include <vector>

#include "engine/PostDownloadHandler.h"

namespace quarn {

// The file extensions and content types that mark a torrent file;
// null-terminated.
const char** getBtExtensions();
const char** getBtContentTypes();

// Turns a finished download of a torrent file into the torrent downloads it
// describes, which follow the finished one.
class BtPostDownloadHandler : public PostDownloadHandler {
 public:
  BtPostDownloadHandler();

  // Throws DlAbortEx when the file is not a torrent.
  void getNextRequestGroups(std::vector<std::shared_ptr<RequestGroup>>& groups,
                            RequestGroup* requestGroup) const override;
};

}  // namespace quarn

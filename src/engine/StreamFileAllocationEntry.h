#pragma once

#include "engine/FileAllocationEntry.h"

namespace quarn {

// File allocation of an HTTP, FTP or SFTP download.
class StreamFileAllocationEntry : public FileAllocationEntry {
 public:
  StreamFileAllocationEntry(RequestGroup* requestGroup,
                            std::unique_ptr<Command> nextCommand = nullptr);
  ~StreamFileAllocationEntry() override;

  void prepareForNextAction(std::vector<std::unique_ptr<Command>>& commands,
                            DownloadEngine* e) override;
};

}  // namespace quarn

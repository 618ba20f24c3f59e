#pragma once

#include <memory>
#include <vector>

#include "engine/ProgressAwareEntry.h"
#include "engine/RequestGroupEntry.h"

namespace quarn {

class Command;
class DownloadEngine;
class FileAllocationIterator;

// Queued file allocation of one download; when the space is reserved,
// prepareForNextAction() starts (or resumes) the download itself.
class FileAllocationEntry : public RequestGroupEntry, public ProgressAwareEntry {
 public:
  FileAllocationEntry(RequestGroup* requestGroup, std::unique_ptr<Command> nextCommand = nullptr);
  ~FileAllocationEntry() override;

  int64_t getCurrentLength() override;
  int64_t getTotalLength() override;
  bool finished() override;
  virtual void prepareForNextAction(std::vector<std::unique_ptr<Command>>& commands,
                                    DownloadEngine* e) = 0;

  void allocateChunk();

 private:
  std::unique_ptr<FileAllocationIterator> fileAllocationIterator_;
};

}  // namespace quarn

#pragma once

#include <memory>
#include <vector>

#include "engine/ProgressAwareEntry.h"
#include "engine/RequestGroupEntry.h"

namespace quarn {

class Command;
class DownloadEngine;
class FileAllocationEntry;
class IteratableValidator;

// Queued integrity check of one download: it owns the validator and knows what
// follows when the check ends.
class CheckIntegrityEntry : public RequestGroupEntry, public ProgressAwareEntry {
 public:
  CheckIntegrityEntry(RequestGroup* requestGroup, std::unique_ptr<Command> nextCommand = nullptr);
  ~CheckIntegrityEntry() override;

  int64_t getTotalLength() override;
  int64_t getCurrentLength() override;
  virtual void validateChunk();
  bool finished() override;
  virtual bool isValidationReady() = 0;
  virtual void initValidator() = 0;
  virtual void onDownloadFinished(std::vector<std::unique_ptr<Command>>& commands,
                                  DownloadEngine* e) = 0;
  virtual void onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& commands,
                                    DownloadEngine* e) = 0;

  void cutTrailingGarbage();
  void setValidator(std::unique_ptr<IteratableValidator> validator);

 protected:
  // Queues the allocation when the download needs one; otherwise goes on to
  // what follows it at once.
  void proceedFileAllocation(std::vector<std::unique_ptr<Command>>& commands,
                             std::unique_ptr<FileAllocationEntry> entry, DownloadEngine* e);

 private:
  std::unique_ptr<IteratableValidator> validator_;
};

}  // namespace quarn

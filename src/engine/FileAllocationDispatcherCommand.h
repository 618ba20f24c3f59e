#pragma once

#include "engine/FileAllocationEntry.h"
#include "engine/SequentialDispatcherCommand.h"

namespace quarn {

// Runs the queued file allocations one after another.
class FileAllocationDispatcherCommand : public SequentialDispatcherCommand<FileAllocationEntry> {
 public:
  FileAllocationDispatcherCommand(cuid_t cuid, SequentialPicker<FileAllocationEntry>* picker,
                                  DownloadEngine* e);

 protected:
  std::unique_ptr<Command> createCommand(FileAllocationEntry* entry) override;
};

}  // namespace quarn

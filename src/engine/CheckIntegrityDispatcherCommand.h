#pragma once

#include "engine/CheckIntegrityEntry.h"
#include "engine/SequentialDispatcherCommand.h"

namespace quarn {

// Runs the queued integrity checks one after another.
class CheckIntegrityDispatcherCommand : public SequentialDispatcherCommand<CheckIntegrityEntry> {
 public:
  CheckIntegrityDispatcherCommand(cuid_t cuid, SequentialPicker<CheckIntegrityEntry>* picker,
                                  DownloadEngine* e);

 protected:
  std::unique_ptr<Command> createCommand(CheckIntegrityEntry* entry) override;
};

}  // namespace quarn

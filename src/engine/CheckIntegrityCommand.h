#pragma once

#include "engine/RealtimeCommand.h"

namespace quarn {

class CheckIntegrityEntry;

// Drives one download's integrity check, one validator step per loop turn.
class CheckIntegrityCommand : public RealtimeCommand {
 public:
  CheckIntegrityCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e,
                        CheckIntegrityEntry* entry);
  // Drops the picked entry, so the dispatcher moves on to the next one.
  ~CheckIntegrityCommand() override;

 protected:
  bool executeInternal() override;
  bool handleException(Exception& e) override;

 private:
  CheckIntegrityEntry* entry_;
};

}  // namespace quarn

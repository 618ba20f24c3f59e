#pragma once

#include "engine/RealtimeCommand.h"
#include "foundation/Timer.h"

namespace quarn {

class FileAllocationEntry;

// Drives one download's file allocation, one chunk per loop turn.
class FileAllocationCommand : public RealtimeCommand {
 public:
  FileAllocationCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e,
                        FileAllocationEntry* fileAllocationEntry);
  // Drops the picked entry, so the dispatcher moves on to the next one.
  ~FileAllocationCommand() override;

 protected:
  bool executeInternal() override;
  bool handleException(Exception& e) override;

 private:
  FileAllocationEntry* fileAllocationEntry_;
  Timer timer_;
};

}  // namespace quarn

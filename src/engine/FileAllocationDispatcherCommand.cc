#include "engine/FileAllocationDispatcherCommand.h"

#include "engine/FileAllocationCommand.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"

namespace quarn {

FileAllocationDispatcherCommand::FileAllocationDispatcherCommand(
    cuid_t cuid, SequentialPicker<FileAllocationEntry>* picker, DownloadEngine* e)
    : SequentialDispatcherCommand<FileAllocationEntry>(cuid, picker, e) {}

std::unique_ptr<Command> FileAllocationDispatcherCommand::createCommand(
    FileAllocationEntry* entry) {
  cuid_t newCUID = getDownloadEngine()->newCUID();
  QLOG_INFO(
      fmt("Dispatching FileAllocationCommand for CUID#%lld.", static_cast<long long>(newCUID)));
  return std::make_unique<FileAllocationCommand>(newCUID, entry->getRequestGroup(),
                                                 getDownloadEngine(), entry);
}

}  // namespace quarn

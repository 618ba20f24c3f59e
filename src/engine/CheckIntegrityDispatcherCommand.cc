#include "engine/CheckIntegrityDispatcherCommand.h"

#include "engine/CheckIntegrityCommand.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"

namespace quarn {

CheckIntegrityDispatcherCommand::CheckIntegrityDispatcherCommand(
    cuid_t cuid, SequentialPicker<CheckIntegrityEntry>* picker, DownloadEngine* e)
    : SequentialDispatcherCommand<CheckIntegrityEntry>(cuid, picker, e) {}

std::unique_ptr<Command> CheckIntegrityDispatcherCommand::createCommand(
    CheckIntegrityEntry* entry) {
  cuid_t newCUID = getDownloadEngine()->newCUID();
  QLOG_INFO(fmt("CUID#%lld - Dispatching CheckIntegrityCommand CUID#%lld.",
                static_cast<long long>(getCuid()), static_cast<long long>(newCUID)));
  return std::make_unique<CheckIntegrityCommand>(newCUID, entry->getRequestGroup(),
                                                 getDownloadEngine(), entry);
}

}  // namespace quarn

#include "engine/StreamCheckIntegrityEntry.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/RequestGroup.h"
#include "engine/StreamFileAllocationEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {

StreamCheckIntegrityEntry::StreamCheckIntegrityEntry(RequestGroup* requestGroup,
                                                     std::unique_ptr<Command> nextCommand)
    : PieceHashCheckIntegrityEntry(requestGroup, std::move(nextCommand)) {}

StreamCheckIntegrityEntry::~StreamCheckIntegrityEntry() = default;

void StreamCheckIntegrityEntry::onDownloadFinished(
    std::vector<std::unique_ptr<Command>>& /*commands*/, DownloadEngine* /*e*/) {}

void StreamCheckIntegrityEntry::onDownloadIncomplete(
    std::vector<std::unique_ptr<Command>>& commands, DownloadEngine* e) {
  getRequestGroup()->getPieceStorage()->onDownloadIncomplete();
  if (getRequestGroup()->getOption()->getAsBool(PREF_HASH_CHECK_ONLY)) {
    return;
  }
  proceedFileAllocation(
      commands, std::make_unique<StreamFileAllocationEntry>(getRequestGroup(), popNextCommand()),
      e);
}

}  // namespace quarn

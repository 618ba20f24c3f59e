#include "engine/StreamFileAllocationEntry.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Logger.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

StreamFileAllocationEntry::StreamFileAllocationEntry(RequestGroup* requestGroup,
                                                     std::unique_ptr<Command> nextCommand)
    : FileAllocationEntry(requestGroup, std::move(nextCommand)) {}

StreamFileAllocationEntry::~StreamFileAllocationEntry() = default;

void StreamFileAllocationEntry::prepareForNextAction(
    std::vector<std::unique_ptr<Command>>& commands, DownloadEngine* e) {
  RequestGroup* group = getRequestGroup();
  const Option& option = *group->getOption();
  // The time spent allocating does not count against the download's speed.
  group->getDownloadContext()->resetDownloadStartTime();
  const auto& diskAdaptor = group->getPieceStorage()->getDiskAdaptor();
  if (option.getAsBool(PREF_ENABLE_MMAP) && option.get(PREF_FILE_ALLOCATION) != "none" &&
      diskAdaptor->size() <= option.getAsLLInt(PREF_MAX_MMAP_LIMIT)) {
    diskAdaptor->enableMmap();
  }
  if (getNextCommand()) {
    auto next = popNextCommand();
    next->setStatus(Command::STATUS_ONESHOT_REALTIME);
    e->setNoWait(true);
    commands.push_back(std::move(next));
    group->createNextCommandWithAdj(commands, e, -1);
  } else {
    group->createNextCommandWithAdj(commands, e, 0);
  }
  if (option.getAsInt(PREF_AUTO_SAVE_INTERVAL) != 0 && !group->allDownloadFinished()) {
    try {
      group->saveControlFile();
    } catch (const RecoverableException& ex) {
      QLOG_ERROR_EX(_("Exception caught"), ex);
    }
  }
}

}  // namespace quarn

#include "bittorrent/BtFileAllocationEntry.h"

#include <algorithm>

#include "bittorrent/BtSetup.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {

BtFileAllocationEntry::BtFileAllocationEntry(RequestGroup* requestGroup)
    : FileAllocationEntry(requestGroup) {}

BtFileAllocationEntry::~BtFileAllocationEntry() = default;

void BtFileAllocationEntry::prepareForNextAction(std::vector<std::unique_ptr<Command>>& commands,
                                                 DownloadEngine* e) {
  RequestGroup* group = getRequestGroup();
  const Option& option = *group->getOption();
  const auto& diskAdaptor = group->getPieceStorage()->getDiskAdaptor();
  BtSetup().setup(commands, group, e, option);
  if (option.getAsBool(PREF_ENABLE_MMAP) && option.get(PREF_FILE_ALLOCATION) != V_NONE &&
      diskAdaptor->size() <= option.getAsLLInt(PREF_MAX_MMAP_LIMIT)) {
    diskAdaptor->enableMmap();
  }
  if (group->downloadFinished()) {
    group->enableSeedOnly();
    return;
  }
  // The time spent checking and allocating does not count against the speed.
  group->getDownloadContext()->resetDownloadStartTime();
  const auto& entries = group->getDownloadContext()->getFileEntries();
  if (std::any_of(entries.begin(), entries.end(), [](const std::shared_ptr<FileEntry>& entry) {
        return entry->isRequested() && !entry->getRemainingUris().empty();
      })) {
    group->createNextCommandWithAdj(commands, e, 0);
  }
  if (option.getAsInt(PREF_AUTO_SAVE_INTERVAL) != 0) {
    try {
      group->saveControlFile();
    } catch (const RecoverableException& ex) {
      QLOG_ERROR_EX(_("Exception caught"), ex);
    }
  }
}

}  // namespace quarn

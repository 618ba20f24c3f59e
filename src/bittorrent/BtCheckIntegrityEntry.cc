#include "bittorrent/BtCheckIntegrityEntry.h"

#include "bittorrent/BtFileAllocationEntry.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/Command.h"
#include "engine/DownloadEventListener.h"
#include "engine/Notifier.h"
#include "engine/RequestGroup.h"
#include "engine/util_hook.h"
#include "storage/DiskAdaptor.h"
#include "storage/PieceStorage.h"

namespace quarn {

BtCheckIntegrityEntry::BtCheckIntegrityEntry(RequestGroup* requestGroup)
    : PieceHashCheckIntegrityEntry(requestGroup) {}

BtCheckIntegrityEntry::~BtCheckIntegrityEntry() = default;

void BtCheckIntegrityEntry::onDownloadIncomplete(std::vector<std::unique_ptr<Command>>& commands,
                                                 DownloadEngine* e) {
  RequestGroup* group = getRequestGroup();
  const auto& pieceStorage = group->getPieceStorage();
  pieceStorage->onDownloadIncomplete();
  if (group->getOption()->getAsBool(PREF_HASH_CHECK_ONLY)) {
    return;
  }
  // Complete data was opened read-only; missing pieces must be written now.
  const auto& diskAdaptor = pieceStorage->getDiskAdaptor();
  if (diskAdaptor->isReadOnlyEnabled()) {
    diskAdaptor->closeFile();
    diskAdaptor->disableReadOnly();
    diskAdaptor->openFile();
  }
  proceedFileAllocation(commands, std::make_unique<BtFileAllocationEntry>(group), e);
}

void BtCheckIntegrityEntry::onDownloadFinished(std::vector<std::unique_ptr<Command>>& commands,
                                               DownloadEngine* e) {
  RequestGroup* group = getRequestGroup();
  const auto& option = group->getOption();
  if (option->getAsBool(PREF_BT_ENABLE_HOOK_AFTER_HASH_CHECK)) {
    util::executeHookByOptName(group, option.get(), PREF_ON_BT_DOWNLOAD_COMPLETE);
    if (auto* notifier = Notifier::getInstance()) {
      notifier->notifyDownloadEvent(EVENT_ON_BT_DOWNLOAD_COMPLETE, group);
    }
  }
  if (option->getAsBool(PREF_HASH_CHECK_ONLY)) {
    return;
  }
  if (option->getAsBool(PREF_BT_HASH_CHECK_SEED)) {
    proceedFileAllocation(commands, std::make_unique<BtFileAllocationEntry>(group), e);
  }
}

}  // namespace quarn

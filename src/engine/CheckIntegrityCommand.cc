#include "engine/CheckIntegrityCommand.h"

#include "engine/CheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/Exception.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "storage/DownloadContext.h"
#include "storage/SequentialPicker.h"

namespace quarn {

CheckIntegrityCommand::CheckIntegrityCommand(cuid_t cuid, RequestGroup* requestGroup,
                                             DownloadEngine* e, CheckIntegrityEntry* entry)
    : RealtimeCommand(cuid, requestGroup, e), entry_(entry) {}

CheckIntegrityCommand::~CheckIntegrityCommand() {
  getDownloadEngine()->getCheckIntegrityMan()->dropPickedEntry();
}

bool CheckIntegrityCommand::executeInternal() {
  RequestGroup* group = getRequestGroup();
  if (group->isHaltRequested()) {
    return true;
  }
  entry_->validateChunk();
  if (!entry_->finished()) {
    getDownloadEngine()->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  group->setSaveControlFile(true);
  std::string basePath = group->getDownloadContext()->getBasePath();
  std::vector<std::unique_ptr<Command>> commands;
  // A storage of unknown length cannot forget its data after a whole-file
  // mismatch, so the unverified digest decides as well.
  if (group->downloadFinished() && !group->getDownloadContext()->isChecksumVerificationNeeded()) {
    QLOG_NOTICE(fmt(_("Verification finished successfully. file=%s"), basePath.c_str()));
    entry_->onDownloadFinished(commands, getDownloadEngine());
  } else {
    QLOG_ERROR(fmt(_("Checksum error detected. file=%s"), basePath.c_str()));
    entry_->onDownloadIncomplete(commands, getDownloadEngine());
  }
  getDownloadEngine()->addCommand(std::move(commands));
  getDownloadEngine()->setNoWait(true);
  return true;
}

bool CheckIntegrityCommand::handleException(Exception& e) {
  QLOG_ERROR_EX(fmt("CUID#%lld - Exception caught while validating file integrity.",
                    static_cast<long long>(getCuid())),
                e);
  QLOG_ERROR(fmt("CUID#%lld - Download not complete: %s", static_cast<long long>(getCuid()),
                 getRequestGroup()->getDownloadContext()->getBasePath().c_str()));
  return true;
}

}  // namespace quarn

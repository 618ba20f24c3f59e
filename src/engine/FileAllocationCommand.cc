#include "engine/FileAllocationCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/RequestGroup.h"
#include "foundation/Exception.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/SequentialPicker.h"

namespace quarn {

FileAllocationCommand::FileAllocationCommand(cuid_t cuid, RequestGroup* requestGroup,
                                             DownloadEngine* e,
                                             FileAllocationEntry* fileAllocationEntry)
    : RealtimeCommand(cuid, requestGroup, e), fileAllocationEntry_(fileAllocationEntry) {}

FileAllocationCommand::~FileAllocationCommand() {
  getDownloadEngine()->getFileAllocationMan()->dropPickedEntry();
}

bool FileAllocationCommand::executeInternal() {
  if (getRequestGroup()->isHaltRequested()) {
    return true;
  }
  fileAllocationEntry_->allocateChunk();
  if (!fileAllocationEntry_->finished()) {
    getDownloadEngine()->addCommand(std::unique_ptr<Command>(this));
    return false;
  }
  QLOG_DEBUG(fmt("%ld seconds to allocate %lld byte(s)",
                 static_cast<long>(timer_.difference(global::wallclock()).count() / 1000000000),
                 static_cast<long long>(getRequestGroup()->getTotalLength())));
  std::vector<std::unique_ptr<Command>> commands;
  fileAllocationEntry_->prepareForNextAction(commands, getDownloadEngine());
  getDownloadEngine()->addCommand(std::move(commands));
  getDownloadEngine()->setNoWait(true);
  return true;
}

bool FileAllocationCommand::handleException(Exception& e) {
  getRequestGroup()->setLastErrorCode(e.getErrorCode(), e.what());
  QLOG_ERROR_EX(fmt("CUID#%lld - Exception caught while allocating file space.",
                    static_cast<long long>(getCuid())),
                e);
  QLOG_ERROR(fmt("CUID#%lld - Download not complete: %s", static_cast<long long>(getCuid()),
                 getRequestGroup()->getDownloadContext()->getBasePath().c_str()));
  return true;
}

}  // namespace quarn

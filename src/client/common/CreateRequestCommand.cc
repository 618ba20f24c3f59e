#include "client/common/CreateRequestCommand.h"

#include "client/common/InitiateConnectionCommandFactory.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"

namespace quarn {

CreateRequestCommand::CreateRequestCommand(cuid_t cuid, RequestGroup* requestGroup,
                                           DownloadEngine* e)
    : AbstractCommand(cuid, nullptr, nullptr, requestGroup, e, nullptr, nullptr, false) {
  setStatus(Command::STATUS_ONESHOT_REALTIME);
  disableReadCheckSocket();
  disableWriteCheckSocket();
}

bool CreateRequestCommand::executeInternal() {
  const auto& ctx = getDownloadContext();
  if (getSegments().empty()) {
    setFileEntry(ctx->findFileEntryByOffset(0));
  } else {
    setFileEntry(ctx->findFileEntryByOffset(getSegments().front()->getPositionToWrite()));
  }
  const auto& option = getOption();
  std::string method;
  if (getFileEntry()->getLength() == 0 && option->getAsBool(PREF_USE_HEAD)) {
    method = Request::METHOD_HEAD;
  } else {
    method = option->getAsBool(PREF_DRY_RUN) ? Request::METHOD_HEAD : Request::METHOD_GET;
  }
  UsedHosts usedHosts;
  if (option->getAsBool(PREF_SELECT_LEAST_USED_HOST)) {
    getDownloadEngine()->getRequestGroupMan()->getUsedHosts(usedHosts);
  }
  setRequest(getFileEntry()->getRequest(getRequestGroup()->getURISelector(),
                                        option->getAsBool(PREF_REUSE_URI), usedHosts,
                                        option->get(PREF_REFERER), method));
  if (getRequest()) {
    if (global::wallclock() < getRequest()->getWakeTime()) {
      QLOG_DEBUG("This request object is still sleeping.");
      getFileEntry()->poolRequest(getRequest());
      resetRequest();
      addCommandSelf();
      return false;
    }
    getDownloadEngine()->setNoWait(true);
    getDownloadEngine()->addCommand(
        InitiateConnectionCommandFactory::createInitiateConnectionCommand(
            getCuid(), getRequest(), getFileEntry(), getRequestGroup(), getDownloadEngine()));
    return true;
  }
  if (getSegmentMan()) {
    getSegmentMan()->ignoreSegmentFor(getFileEntry());
  }
  error_code::Value code = getRequestGroup()->getLastErrorCode();
  if (code == static_cast<error_code::Value>(-1)) {
    code = error_code::UNKNOWN_ERROR;
  }
  if (option->getAsBool(PREF_DRY_RUN)) {
    throw DOWNLOAD_FAILURE_EXCEPTION("No URI available.", code);
  }
  throw DL_ABORT_EX("No URI available.", code);
}

}  // namespace quarn

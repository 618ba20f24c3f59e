#include "client/common/CreateRequestCommand.h"

#include <cinttypes>

#include "client/common/InitiateConnectionCommandFactory.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
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
  if ((getRequestGroup()->getNumConnection() > 0 || getFileEntry()->countPooledRequest() > 0) &&
      !option->getAsBool(PREF_DRY_RUN)) {
    // A surplus connection while others still work, or wait to retry: the
    // download has not failed, so this leaves no error behind (and starts
    // no other command that would find no URI either).
    QLOG_INFO(fmt("CUID#%" PRId64 " - No URI available for another connection.", getCuid()));
    if (getSegmentMan()) {
      // The segment taken for this connection goes back to the others.
      getSegmentMan()->cancelSegment(getCuid());
    }
    return true;
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

#include "engine/RealtimeCommand.h"

#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "foundation/RecoverableException.h"

namespace quarn {

RealtimeCommand::RealtimeCommand(cuid_t cuid, RequestGroup* requestGroup, DownloadEngine* e)
    : Command(cuid), requestGroup_(requestGroup), e_(e) {
  setStatusRealtime();
  requestGroup_->increaseNumCommand();
}

RealtimeCommand::~RealtimeCommand() {
  requestGroup_->decreaseNumCommand();
}

bool RealtimeCommand::execute() {
  setStatusRealtime();
  e_->setNoWait(true);
  try {
    return executeInternal();
  } catch (RecoverableException& ex) {
    return handleException(ex);
  }
}

}  // namespace quarn

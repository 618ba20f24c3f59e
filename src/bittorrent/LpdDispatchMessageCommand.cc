#include "bittorrent/LpdDispatchMessageCommand.h"

#include "bittorrent/BtRuntime.h"
#include "bittorrent/LpdMessageDispatcher.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

LpdDispatchMessageCommand::LpdDispatchMessageCommand(
    cuid_t cuid, std::shared_ptr<LpdMessageDispatcher> dispatcher, DownloadEngine* engine)
    : Command(cuid), dispatcher_(std::move(dispatcher)), engine_(engine) {}

LpdDispatchMessageCommand::~LpdDispatchMessageCommand() = default;

void LpdDispatchMessageCommand::dispatch() {
  QLOG_INFO(fmt("Dispatching LPD message for infohash=%s",
                util::toHex(dispatcher_->getInfoHash()).c_str()));
  try {
    if (dispatcher_->sendMessage()) {
      QLOG_INFO("Sending LPD message is complete.");
      dispatcher_->resetAnnounceTimer();
      tryCount_ = 0;
      return;
    }
    if (tryCount_++ < MAX_RETRY - 1) {
      QLOG_INFO("Could not send LPD message, retry shortly.");
      return;
    }
    QLOG_INFO(fmt("Sending LPD message %u times but all failed.", tryCount_));
    dispatcher_->resetAnnounceTimer();
    tryCount_ = 0;
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Failed to send LPD message.", e);
    dispatcher_->resetAnnounceTimer();
    tryCount_ = 0;
  }
}

bool LpdDispatchMessageCommand::execute() {
  if (btRuntime_->isHalt()) {
    return true;
  }
  if (dispatcher_->isAnnounceReady()) {
    dispatch();
  }
  engine_->addCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn

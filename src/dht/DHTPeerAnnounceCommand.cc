#include "dht/DHTPeerAnnounceCommand.h"

#include "dht/DHTPeerAnnounceStorage.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"

namespace quarn {

void DHTPeerAnnounceCommand::process() {
  try {
    storage_->handleTimeout();
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX("Exception caught", e);
  }
}

}  // namespace quarn

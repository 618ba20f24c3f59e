#include "dht/DHTPeerAnnounceCommand.h"

#include "dht/DHTPeerAnnounceStorage.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"

namespace quarn {

void DHTPeerAnnounceCommand::process() {
  try {
    storage_->handleTimeout();
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX(_("Exception caught"), e);
  }
}

}  // namespace quarn

#include "dht/DHTTokenUpdateCommand.h"

#include "dht/DHTTokenTracker.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"

namespace quarn {

void DHTTokenUpdateCommand::process() {
  try {
    tokenTracker_->updateTokenSecret();
  } catch (const RecoverableException& e) {
    QLOG_ERROR_EX(_("Exception caught"), e);
  }
}

}  // namespace quarn

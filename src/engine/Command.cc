#include "engine/Command.h"

namespace quarn {

void Command::transitStatus() {
  if (status_ != STATUS_REALTIME) {
    status_ = STATUS_INACTIVE;
  }
}

void Command::clearIOEvents() {
  readEvent_ = false;
  writeEvent_ = false;
  errorEvent_ = false;
  hupEvent_ = false;
}

}  // namespace quarn

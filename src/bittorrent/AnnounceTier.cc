#include "bittorrent/AnnounceTier.h"

namespace quarn {

void AnnounceTier::nextEvent() {
  switch (event) {
    case STARTED:
      event = DOWNLOADING;
      break;
    case STARTED_AFTER_COMPLETION:
    case COMPLETED:
      event = SEEDING;
      break;
    case STOPPED:
      event = HALTED;
      break;
    default:
      break;
  }
}

void AnnounceTier::nextEventIfAfterStarted() {
  switch (event) {
    case STOPPED:
      event = HALTED;
      break;
    case COMPLETED:
      event = SEEDING;
      break;
    default:
      break;
  }
}

}  // namespace quarn

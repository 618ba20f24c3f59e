#include "engine/global_halt.h"

namespace quarn {
namespace global {

volatile std::sig_atomic_t globalHaltRequested = HALT_NONE;

void recordHaltSignal(int sig) {
  std::sig_atomic_t current = globalHaltRequested;
  if (sig == SIGINT) {
    if (current == HALT_NONE) {
      globalHaltRequested = HALT_GRACEFUL_ASKED;
    } else if (current == HALT_GRACEFUL_UNDER_WAY) {
      globalHaltRequested = HALT_EMERGENCY_ASKED;
    }
  } else if (current < HALT_EMERGENCY_ASKED) {
    globalHaltRequested = HALT_EMERGENCY_ASKED;
  }
}

}  // namespace global
}  // namespace quarn

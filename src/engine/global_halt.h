#pragma once

#include <csignal>

namespace quarn {
namespace global {

// Halt requests travel through this one value. Signal handlers write it, so it
// is a sig_atomic_t that the loop reads once per turn.
enum HaltState : int {
  HALT_NONE = 0,
  HALT_GRACEFUL_ASKED = 1,
  HALT_GRACEFUL_UNDER_WAY = 2,
  HALT_EMERGENCY_ASKED = 3,
  HALT_EMERGENCY_UNDER_WAY = 4,
  HALT_LOOP_FINISHED = 5
};

extern volatile std::sig_atomic_t globalHaltRequested;

// The handler of SIGINT, SIGHUP and SIGTERM: it only records the request.
// SIGINT asks for a graceful halt, or for an emergency halt once a graceful one
// is under way; SIGHUP and SIGTERM ask for an emergency halt.
void recordHaltSignal(int sig);

}  // namespace global
}  // namespace quarn

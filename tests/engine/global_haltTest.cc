#include "engine/global_halt.h"

#include <signal.h>

#include <atomic>
#include <type_traits>

#include <gtest/gtest.h>

namespace quarn {
namespace {

using namespace global;

// Written from a signal handler, so it must be a type such writes are safe for.
static_assert(std::is_same_v<decltype(globalHaltRequested), volatile std::sig_atomic_t>);

TEST(HaltSignalTest, TransitionTable) {
  struct Case {
    int before;
    int sig;
    int after;
  } cases[] = {
      {HALT_NONE, SIGINT, HALT_GRACEFUL_ASKED},
      {HALT_GRACEFUL_UNDER_WAY, SIGINT, HALT_EMERGENCY_ASKED},
      {HALT_GRACEFUL_ASKED, SIGINT, HALT_GRACEFUL_ASKED},
      {HALT_EMERGENCY_ASKED, SIGINT, HALT_EMERGENCY_ASKED},
      {HALT_EMERGENCY_UNDER_WAY, SIGINT, HALT_EMERGENCY_UNDER_WAY},
      {HALT_LOOP_FINISHED, SIGINT, HALT_LOOP_FINISHED},
      {HALT_NONE, SIGTERM, HALT_EMERGENCY_ASKED},
      {HALT_GRACEFUL_ASKED, SIGHUP, HALT_EMERGENCY_ASKED},
      {HALT_GRACEFUL_UNDER_WAY, SIGTERM, HALT_EMERGENCY_ASKED},
      {HALT_EMERGENCY_UNDER_WAY, SIGTERM, HALT_EMERGENCY_UNDER_WAY},
      {HALT_LOOP_FINISHED, SIGHUP, HALT_LOOP_FINISHED},
  };
  for (const auto& c : cases) {
    globalHaltRequested = c.before;
    recordHaltSignal(c.sig);
    EXPECT_EQ(c.after, globalHaltRequested) << c.before << " " << c.sig;
  }
  globalHaltRequested = HALT_NONE;
}

}  // namespace
}  // namespace quarn

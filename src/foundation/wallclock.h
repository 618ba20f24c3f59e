#pragma once

#include "foundation/Timer.h"

namespace quarn {
namespace global {

// "Now" for one turn of the event loop; the engine resets it once per turn.
Timer& wallclock();

}  // namespace global
}  // namespace quarn

#include "foundation/wallclock.h"

namespace quarn {
namespace global {

Timer& wallclock() {
  static Timer* clock = new Timer();
  return *clock;
}

}  // namespace global
}  // namespace quarn

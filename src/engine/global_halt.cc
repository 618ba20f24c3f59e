#include "engine/global_halt.h"

namespace quarn {
namespace global {

volatile std::sig_atomic_t globalHaltRequested = HALT_NONE;

}  // namespace global
}  // namespace quarn

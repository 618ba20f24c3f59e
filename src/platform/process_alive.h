#pragma once

#include <cstdint>

namespace quarn {
namespace platform {

// Whether a process with this id exists. Ids that no process can have (0,
// negatives, values beyond pid_t) are never running: handing them to kill(2)
// would address a process group or a truncated id instead.
bool processAlive(int64_t pid);

}  // namespace platform
}  // namespace quarn

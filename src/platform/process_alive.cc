#include "platform/process_alive.h"

#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <limits>

namespace quarn {
namespace platform {

bool processAlive(int64_t pid) {
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) {
    return false;
  }
  // Signal 0 only checks; EPERM means the process exists but is not ours.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace platform
}  // namespace quarn

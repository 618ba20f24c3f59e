#include "foundation/util_process.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/FatalException.h"
#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {
namespace util {

void setGlobalSignalHandler(int sig, sigset_t* mask, void (*handler)(int), int flags) {
  struct sigaction sigact;
  memset(&sigact, 0, sizeof(sigact));
  sigact.sa_handler = handler;
  sigact.sa_flags = flags;
  sigact.sa_mask = *mask;
  if (sigaction(sig, &sigact, nullptr) == -1) {
    int errNum = errno;
    QLOG_ERROR(
        fmt("sigaction() failed for signal %d: %s", sig, util::safeStrerror(errNum).c_str()));
  }
}

void make_fd_cloexec(int fd) {
  int flags;
  while ((flags = fcntl(fd, F_GETFD)) == -1 && errno == EINTR) {
  }
  if (flags == -1) {
    return;
  }
  while (fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == -1 && errno == EINTR) {
  }
}

void* allocateAlignedMemory(size_t alignment, size_t size) {
  void* buffer = nullptr;
  int res = posix_memalign(&buffer, alignment, size);
  if (res != 0) {
    throw FATAL_EXCEPTION(fmt("Error in posix_memalign: %s", util::safeStrerror(res).c_str()));
  }
  return buffer;
}

}  // namespace util
}  // namespace quarn

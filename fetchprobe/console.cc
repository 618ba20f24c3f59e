#include "fetchprobe/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace quarn {
namespace console {

int writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

void ensureStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // open() returns the lowest free number, which is fd itself here.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
}

void ignoreSigpipe() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace console
}  // namespace quarn

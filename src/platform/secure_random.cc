#include "platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarn {
namespace platform {

namespace {

ssize_t systemGetRandom(void* buf, size_t len) {
  return getrandom(buf, len, 0);
}

[[noreturn]] void randomSourceFailed(int errNum) {
  fprintf(stderr, "Secure random source failed: %s\n", strerror(errNum));
  abort();
}

}  // namespace

void fillRandomBytes(void* buf, size_t len, GetRandomFn fn) {
  auto out = static_cast<unsigned char*>(buf);
  while (len > 0) {
    ssize_t n = fn(out, len);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      randomSourceFailed(errno);
    }
    if (n == 0) {
      randomSourceFailed(EIO);
    }
    out += n;
    len -= static_cast<size_t>(n);
  }
}

void secureRandomBytes(void* buf, size_t len) {
  fillRandomBytes(buf, len, systemGetRandom);
}

}  // namespace platform
}  // namespace quarn

#include "foundation/util_time.h"

#include <unistd.h>

namespace quarn {
namespace util {

int64_t difftv(struct timeval a, struct timeval b) {
  if (a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_usec < b.tv_usec)) {
    return 0;
  }
  return (static_cast<int64_t>(a.tv_sec) - b.tv_sec) * 1000000 + (a.tv_usec - b.tv_usec);
}

int32_t difftvsec(struct timeval a, struct timeval b) {
  return static_cast<int32_t>(difftv(a, b) / 1000000);
}

void sleep(long seconds) {
  ::sleep(seconds);
}

void usleep(long microseconds) {
  ::usleep(microseconds);
}

}  // namespace util
}  // namespace quarn

#pragma once

#include <sys/time.h>

#include <cstdint>

namespace quarn {
namespace util {

// Microseconds from b to a; 0 when a is earlier.
int64_t difftv(struct timeval a, struct timeval b);
// Whole seconds from b to a; 0 when a is earlier.
int32_t difftvsec(struct timeval a, struct timeval b);

void sleep(long seconds);
void usleep(long microseconds);

}  // namespace util
}  // namespace quarn

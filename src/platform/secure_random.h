#pragma once

#include <sys/types.h>

#include <cstddef>

namespace quarn {
namespace platform {

// Fills the buffer with bytes from the kernel's cryptographically secure
// generator. There is no fallback source: a failure aborts the process.
void secureRandomBytes(void* buf, size_t len);

// The system call behind secureRandomBytes, replaceable to exercise the retry
// loop: same contract as getrandom(2) with flags 0.
using GetRandomFn = ssize_t (*)(void* buf, size_t len);

// Calls fn until len bytes are filled, retrying on short reads and EINTR;
// aborts on any other failure.
void fillRandomBytes(void* buf, size_t len, GetRandomFn fn);

}  // namespace platform
}  // namespace quarn

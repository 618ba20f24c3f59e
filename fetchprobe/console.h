#pragma once

#include <string_view>

namespace quarn {
namespace console {

// Writes all of text to fd with as many write() calls as it takes. Returns 0,
// or the errno of the write that failed.
int writeAll(int fd, std::string_view text);

// Opens /dev/null on any of the descriptors 0, 1 and 2 that is closed, so that
// no pipe made later takes one of their numbers.
void ensureStandardDescriptors();

// Writes to a reader that went away then fail with EPIPE instead of ending the process.
void ignoreSigpipe();

}  // namespace console
}  // namespace quarn

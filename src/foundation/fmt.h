#pragma once

#include <string>

namespace quarn {

// printf-style formatting into a string. The result is cut at 2047 bytes; a
// formatting error gives the empty string.
std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quarn

#include "foundation/fmt.h"

#include <cstdarg>
#include <cstdio>

namespace quarn {

std::string fmt(const char* format, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, format);
  int rv = vsnprintf(buf, sizeof(buf), format, ap);
  va_end(ap);
  if (rv < 0) {
    return std::string();
  }
  return std::string(buf);
}

}  // namespace quarn

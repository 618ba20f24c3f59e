#include "foundation/OutputFile.h"

namespace quarn {

int OutputFile::printf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int rv = vprintf(format, ap);
  va_end(ap);
  return rv;
}

}  // namespace quarn

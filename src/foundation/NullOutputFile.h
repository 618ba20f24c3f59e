#pragma once

#include "foundation/OutputFile.h"

namespace quarn {

// Discards everything written to it.
class NullOutputFile : public OutputFile {
 public:
  size_t write(const char*) override { return 0; }
  int flush() override { return 0; }
  int vprintf(const char*, va_list) override { return 0; }
  bool supportsColor() override { return false; }
};

}  // namespace quarn

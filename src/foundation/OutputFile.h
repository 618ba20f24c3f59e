#pragma once

#include <cstdarg>
#include <cstddef>

namespace quarn {

// Where text output goes: the console, a file, or nowhere.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual size_t write(const char* str) = 0;
  virtual int flush() = 0;
  virtual int vprintf(const char* format, va_list va) = 0;
  // True when the sink is a terminal that understands colour escape sequences.
  virtual bool supportsColor() = 0;

  int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

}  // namespace quarn

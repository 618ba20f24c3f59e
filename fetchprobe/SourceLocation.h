#pragma once

#include <version>

#ifdef __cpp_lib_source_location
#include <source_location>
#endif

namespace quarn {

#ifdef __cpp_lib_source_location
using SourceLocation = std::source_location;
#else
// The subset of std::source_location this program uses, for compilers whose
// standard library lacks it.
class SourceLocation {
 public:
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          unsigned line = __builtin_LINE(),
                                          unsigned column = __builtin_COLUMN()) noexcept {
    SourceLocation location;
    location.file_ = file;
    location.line_ = line;
    location.column_ = column;
    return location;
  }

  constexpr const char* file_name() const noexcept { return file_; }
  constexpr unsigned line() const noexcept { return line_; }
  constexpr unsigned column() const noexcept { return column_; }

 private:
  const char* file_ = "";
  unsigned line_ = 0;
  unsigned column_ = 0;
};
#endif

}  // namespace quarn

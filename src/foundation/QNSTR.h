#pragma once

#include <string>

namespace quarn {

// Process-wide string constants, returned by reference for missing values.
struct QNSTR {
  static const std::string NIL;
};

}  // namespace quarn

#pragma once

#include <cstddef>

namespace quarn {

// The identity of one option: its name and a dense id that indexes every
// per-option array. Prefs are compared by pointer.
struct Pref {
  const char* k;
  size_t i;
};

}  // namespace quarn

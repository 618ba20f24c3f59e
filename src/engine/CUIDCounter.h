#pragma once

#include "engine/Command.h"

namespace quarn {

// Hands out command ids: 1, 2, ..., wrapping from the largest value back to 1,
// so 0 is never given out.
class CUIDCounter {
 public:
  explicit CUIDCounter(cuid_t start = 0) : count_(start) {}
  cuid_t newID();

 private:
  cuid_t count_;
};

}  // namespace quarn

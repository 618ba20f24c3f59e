#include "engine/CUIDCounter.h"

#include <limits>

namespace quarn {

cuid_t CUIDCounter::newID() {
  if (count_ == std::numeric_limits<cuid_t>::max()) {
    count_ = 1;
  } else {
    ++count_;
  }
  return count_;
}

}  // namespace quarn

#pragma once

#include <cstddef>

namespace quarn {

// Told, after each send of its buffer entry, how many bytes of the entry left
// and whether the entry is now complete.
class ProgressUpdate {
 public:
  virtual ~ProgressUpdate() = default;
  virtual void update(size_t length, bool complete) = 0;
};

}  // namespace quarn

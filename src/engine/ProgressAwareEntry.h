#pragma once

#include <cstdint>

namespace quarn {

// Queued work whose progress the console readout shows.
class ProgressAwareEntry {
 public:
  virtual ~ProgressAwareEntry() = default;

  virtual int64_t getCurrentLength() = 0;
  virtual int64_t getTotalLength() = 0;
  virtual bool finished() = 0;
};

}  // namespace quarn

#pragma once

#include <cstdint>

namespace quarn {

// A check of a download's data done in small steps: init() once, then
// validateChunk() until finished().
class IteratableValidator {
 public:
  virtual ~IteratableValidator() = default;

  virtual void init() = 0;
  virtual void validateChunk() = 0;
  virtual bool finished() const = 0;
  virtual int64_t getCurrentOffset() const = 0;
  virtual int64_t getTotalLength() const = 0;
};

}  // namespace quarn

#pragma once

#include <cstdint>

namespace quarn {

// Gives a download's files their full size on disk, one bounded step per call,
// so that the event loop keeps turning during a long allocation.
class FileAllocationIterator {
 public:
  virtual ~FileAllocationIterator() = default;

  virtual void allocateChunk() = 0;
  virtual bool finished() = 0;
  virtual int64_t getCurrentLength() = 0;
  virtual int64_t getTotalLength() = 0;
};

}  // namespace quarn

#pragma once

#include <memory>

#include "storage/FileAllocationIterator.h"

namespace quarn {

class BinaryStream;

// Allocation by zero-writing, set up lazily on the first step.
class AdaptiveFileAllocationIterator : public FileAllocationIterator {
 public:
  AdaptiveFileAllocationIterator(BinaryStream* stream, int64_t offset, int64_t totalLength);
  ~AdaptiveFileAllocationIterator() override;

  void allocateChunk() override;
  bool finished() override;
  int64_t getCurrentLength() override;
  int64_t getTotalLength() override { return totalLength_; }

 private:
  std::unique_ptr<FileAllocationIterator> delegate_;
  BinaryStream* stream_;
  int64_t offset_;
  int64_t totalLength_;
};

}  // namespace quarn

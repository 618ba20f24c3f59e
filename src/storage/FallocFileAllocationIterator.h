#pragma once

#include "storage/FileAllocationIterator.h"

namespace quarn {

class BinaryStream;

// Reserves the file's space with the platform's preallocation call in one step.
class FallocFileAllocationIterator : public FileAllocationIterator {
 public:
  FallocFileAllocationIterator(BinaryStream* stream, int64_t offset, int64_t totalLength);

  void allocateChunk() override;
  bool finished() override { return offset_ == totalLength_; }
  int64_t getCurrentLength() override { return offset_; }
  int64_t getTotalLength() override { return totalLength_; }

 private:
  BinaryStream* stream_;
  int64_t offset_;
  int64_t totalLength_;
};

}  // namespace quarn

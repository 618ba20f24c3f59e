#pragma once

#include "storage/FileAllocationIterator.h"

namespace quarn {

class BinaryStream;

// Sets the file's length in one step without reserving space (a sparse file).
class TruncFileAllocationIterator : public FileAllocationIterator {
 public:
  TruncFileAllocationIterator(BinaryStream* stream, int64_t offset, int64_t totalLength);

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

#pragma once

#include <cstdlib>
#include <memory>

#include "storage/FileAllocationIterator.h"

namespace quarn {

class BinaryStream;

// Allocates by writing zeros, 256 KiB per step from one reused buffer.
class SingleFileAllocationIterator : public FileAllocationIterator {
 public:
  static constexpr size_t BUFSIZE = 256 * 1024;
  static constexpr size_t ALIGNMENT = 512;

  SingleFileAllocationIterator(BinaryStream* stream, int64_t offset, int64_t totalLength);

  // Must be called once before the first step.
  void init();

  void allocateChunk() override;
  bool finished() override { return offset_ == totalLength_; }
  int64_t getCurrentLength() override { return offset_; }
  int64_t getTotalLength() override { return totalLength_; }

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };

  BinaryStream* stream_;
  int64_t offset_;
  int64_t totalLength_;
  std::unique_ptr<unsigned char, FreeDeleter> buffer_;
};

}  // namespace quarn

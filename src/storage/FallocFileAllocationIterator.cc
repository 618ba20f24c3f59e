#include "storage/FallocFileAllocationIterator.h"

#include "foundation/BinaryStream.h"

namespace quarn {

FallocFileAllocationIterator::FallocFileAllocationIterator(BinaryStream* stream, int64_t offset,
                                                           int64_t totalLength)
    : stream_(stream), offset_(offset), totalLength_(totalLength) {}

void FallocFileAllocationIterator::allocateChunk() {
  if (offset_ < totalLength_) {
    stream_->allocate(offset_, totalLength_ - offset_, false);
  } else {
    stream_->truncate(totalLength_);
  }
  offset_ = totalLength_;
}

}  // namespace quarn

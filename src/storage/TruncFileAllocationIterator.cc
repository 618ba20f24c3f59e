#include "storage/TruncFileAllocationIterator.h"

#include "foundation/BinaryStream.h"

namespace quarn {

TruncFileAllocationIterator::TruncFileAllocationIterator(BinaryStream* stream, int64_t offset,
                                                         int64_t totalLength)
    : stream_(stream), offset_(offset), totalLength_(totalLength) {}

void TruncFileAllocationIterator::allocateChunk() {
  stream_->allocate(0, totalLength_, true);
  offset_ = totalLength_;
}

}  // namespace quarn

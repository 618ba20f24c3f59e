#include "storage/AdaptiveFileAllocationIterator.h"

#include "storage/SingleFileAllocationIterator.h"

namespace quarn {

AdaptiveFileAllocationIterator::AdaptiveFileAllocationIterator(BinaryStream* stream, int64_t offset,
                                                               int64_t totalLength)
    : stream_(stream), offset_(offset), totalLength_(totalLength) {}

AdaptiveFileAllocationIterator::~AdaptiveFileAllocationIterator() = default;

void AdaptiveFileAllocationIterator::allocateChunk() {
  if (!delegate_) {
    auto single = std::make_unique<SingleFileAllocationIterator>(stream_, offset_, totalLength_);
    single->init();
    delegate_ = std::move(single);
  }
  delegate_->allocateChunk();
}

bool AdaptiveFileAllocationIterator::finished() {
  return delegate_ ? delegate_->finished() : offset_ == totalLength_;
}

int64_t AdaptiveFileAllocationIterator::getCurrentLength() {
  return delegate_ ? delegate_->getCurrentLength() : offset_;
}

}  // namespace quarn

#include "storage/GrowSegment.h"

#include "storage/Piece.h"

namespace quarn {

GrowSegment::GrowSegment(std::shared_ptr<Piece> piece)
    : piece_(std::move(piece)), writtenLength_(0) {}

void GrowSegment::updateWrittenLength(int64_t bytes) {
  writtenLength_ += bytes;
  piece_->reconfigure(writtenLength_);
  piece_->setAllBlock();
}

void GrowSegment::clear(WrDiskCache* /*diskCache*/) {
  writtenLength_ = 0;
  piece_->clearAllBlock(nullptr);
}

}  // namespace quarn

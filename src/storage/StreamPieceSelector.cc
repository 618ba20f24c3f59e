#include "storage/StreamPieceSelector.h"

#include "foundation/SimpleRandomizer.h"
#include "storage/BitfieldMan.h"

namespace quarn {

bool DefaultStreamPieceSelector::select(size_t& index, size_t minSplitSize,
                                        const uint8_t* ignoreBitfield, size_t length) {
  return bitfieldMan_->getSparseMissingUnusedIndex(index, static_cast<int32_t>(minSplitSize),
                                                   ignoreBitfield, length);
}

bool InorderStreamPieceSelector::select(size_t& index, size_t minSplitSize,
                                        const uint8_t* ignoreBitfield, size_t length) {
  return bitfieldMan_->getInorderMissingUnusedIndex(index, static_cast<int32_t>(minSplitSize),
                                                    ignoreBitfield, length);
}

bool RandomStreamPieceSelector::select(size_t& index, size_t minSplitSize,
                                       const uint8_t* ignoreBitfield, size_t length) {
  size_t n = bitfieldMan_->countBlock();
  if (n == 0) {
    return false;
  }
  size_t r = SimpleRandomizer::getInstance()->getRandomNumber(n);
  auto split = static_cast<int32_t>(minSplitSize);
  return bitfieldMan_->getInorderMissingUnusedIndex(index, r, n, split, ignoreBitfield, length) ||
         bitfieldMan_->getInorderMissingUnusedIndex(index, 0, r, split, ignoreBitfield, length) ||
         bitfieldMan_->getInorderMissingUnusedIndex(index, 0, n, split, ignoreBitfield, length);
}

bool GeomStreamPieceSelector::select(size_t& index, size_t minSplitSize,
                                     const uint8_t* ignoreBitfield, size_t length) {
  return bitfieldMan_->getGeomMissingUnusedIndex(index, static_cast<int32_t>(minSplitSize),
                                                 ignoreBitfield, length, base_, offsetIndex_);
}

void GeomStreamPieceSelector::onBitfieldInit() {
  size_t index;
  if (bitfieldMan_->getFirstMissingIndex(index)) {
    offsetIndex_ = index;
  }
}

}  // namespace quarn

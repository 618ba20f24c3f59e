#include "storage/PieceSelector.h"

#include <cassert>
#include <limits>

#include "storage/PieceStatMan.h"
#include "storage/bitfield.h"

namespace quarn {

bool RarestPieceSelector::select(size_t& index, const uint8_t* bitfield, size_t nbits) const {
  const auto& order = pieceStatMan_->getOrder();
  const auto& counts = pieceStatMan_->getCounts();
  int32_t lowest = std::numeric_limits<int32_t>::max();
  bool found = false;
  for (size_t i = 0; i < nbits && i < order.size(); ++i) {
    size_t p = order[i];
    assert(p < nbits);
    if (bitfield::test(bitfield, nbits, p) && counts[p] < lowest) {
      lowest = counts[p];
      index = p;
      found = true;
    }
  }
  return found;
}

bool LongestSequencePieceSelector::select(size_t& index, const uint8_t* bitfield,
                                          size_t nbits) const {
  size_t bestStart = 0;
  size_t bestEnd = 0;
  size_t i = 0;
  while (i < nbits) {
    if (!bitfield::test(bitfield, nbits, i)) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < nbits && bitfield::test(bitfield, nbits, i)) {
      ++i;
    }
    if (i - start > bestEnd - bestStart) {
      bestStart = start;
      bestEnd = i;
    }
  }
  if (bestEnd == bestStart) {
    return false;
  }
  index = bestEnd - 1;
  return true;
}

bool PriorityPieceSelector::select(size_t& index, const uint8_t* bitfield, size_t nbits) const {
  for (size_t p : prioritizedPieces_) {
    assert(p < nbits);
    if (p < nbits && bitfield::test(bitfield, nbits, p)) {
      index = p;
      return true;
    }
  }
  return selector_->select(index, bitfield, nbits);
}

}  // namespace quarn

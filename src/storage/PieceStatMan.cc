#include "storage/PieceStatMan.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "foundation/SimpleRandomizer.h"
#include "storage/bitfield.h"

namespace quarn {

namespace {

void inc(int32_t& count) {
  if (count < std::numeric_limits<int32_t>::max()) {
    ++count;
  }
}

void dec(int32_t& count) {
  if (count > 0) {
    --count;
  }
}

}  // namespace

bool PieceStatMan::coversAllPieces(size_t bitfieldLength) const {
  return bitfieldLength >= (counts_.size() + 7) / 8;
}

PieceStatMan::PieceStatMan(size_t pieceNum, bool randomShuffle)
    : order_(pieceNum), counts_(pieceNum, 0) {
  std::iota(order_.begin(), order_.end(), 0);
  if (randomShuffle) {
    std::shuffle(order_.begin(), order_.end(), *SimpleRandomizer::getInstance());
  }
}

void PieceStatMan::addPieceStats(size_t index) {
  if (index < counts_.size()) {
    inc(counts_[index]);
  }
}

// A bit array too short for the piece count (a peer's, say) is ignored rather
// than read past its end.
void PieceStatMan::adjustEach(const uint8_t* bitfield, size_t bitfieldLength,
                              void (*adjust)(int32_t&)) {
  if (!coversAllPieces(bitfieldLength)) {
    return;
  }
  for (size_t i = 0; i < counts_.size(); ++i) {
    if (bitfield::test(bitfield, counts_.size(), i)) {
      adjust(counts_[i]);
    }
  }
}

void PieceStatMan::addPieceStats(const uint8_t* bitfield, size_t bitfieldLength) {
  adjustEach(bitfield, bitfieldLength, inc);
}

void PieceStatMan::subtractPieceStats(const uint8_t* bitfield, size_t bitfieldLength) {
  adjustEach(bitfield, bitfieldLength, dec);
}

void PieceStatMan::updatePieceStats(const uint8_t* newBitfield, size_t bitfieldLength,
                                    const uint8_t* oldBitfield) {
  if (!coversAllPieces(bitfieldLength)) {
    return;
  }
  for (size_t i = 0; i < counts_.size(); ++i) {
    bool now = bitfield::test(newBitfield, counts_.size(), i);
    bool before = bitfield::test(oldBitfield, counts_.size(), i);
    if (now && !before) {
      inc(counts_[i]);
    } else if (!now && before) {
      dec(counts_[i]);
    }
  }
}

}  // namespace quarn

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// How many peers have each piece, with a fixed random order breaking ties.
class PieceStatMan {
 public:
  PieceStatMan(size_t pieceNum, bool randomShuffle);

  void addPieceStats(size_t index);
  void addPieceStats(const uint8_t* bitfield, size_t bitfieldLength);
  void subtractPieceStats(const uint8_t* bitfield, size_t bitfieldLength);
  void updatePieceStats(const uint8_t* newBitfield, size_t bitfieldLength,
                        const uint8_t* oldBitfield);

  const std::vector<size_t>& getOrder() const { return order_; }
  const std::vector<int32_t>& getCounts() const { return counts_; }

 private:
  bool coversAllPieces(size_t bitfieldLength) const;
  // Applies adjust to the count of every piece whose bit is set.
  void adjustEach(const uint8_t* bitfield, size_t bitfieldLength, void (*adjust)(int32_t&));

  std::vector<size_t> order_;
  std::vector<int32_t> counts_;
};

}  // namespace quarn

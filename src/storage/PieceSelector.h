#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quarn {

class PieceStatMan;

// Picks a whole piece for a peer out of a bit array of candidate pieces.
class PieceSelector {
 public:
  virtual ~PieceSelector() = default;
  virtual bool select(size_t& index, const uint8_t* bitfield, size_t nbits) const = 0;
};

class RarestPieceSelector : public PieceSelector {
 public:
  explicit RarestPieceSelector(std::shared_ptr<PieceStatMan> pieceStatMan)
      : pieceStatMan_(std::move(pieceStatMan)) {}
  bool select(size_t& index, const uint8_t* bitfield, size_t nbits) const override;

 private:
  std::shared_ptr<PieceStatMan> pieceStatMan_;
};

class LongestSequencePieceSelector : public PieceSelector {
 public:
  bool select(size_t& index, const uint8_t* bitfield, size_t nbits) const override;
};

class PriorityPieceSelector : public PieceSelector {
 public:
  explicit PriorityPieceSelector(std::shared_ptr<PieceSelector> selector)
      : selector_(std::move(selector)) {}
  bool select(size_t& index, const uint8_t* bitfield, size_t nbits) const override;
  template <typename InputIt>
  void setPriorityPiece(InputIt first, InputIt last) {
    prioritizedPieces_.assign(first, last);
  }

 private:
  std::vector<size_t> prioritizedPieces_;
  std::shared_ptr<PieceSelector> selector_;
};

}  // namespace quarn

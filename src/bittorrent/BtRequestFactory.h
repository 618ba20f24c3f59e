#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace quarn {

class BtMessage;
class Piece;

// Chooses the blocks to request from one peer among the pieces being
// fetched from it.
class BtRequestFactory {
 public:
  virtual ~BtRequestFactory() = default;
  virtual void addTargetPiece(const std::shared_ptr<Piece>& piece) = 0;
  // Abandons the piece's requests and gives it back to the piece storage.
  virtual void removeTargetPiece(const std::shared_ptr<Piece>& piece) = 0;
  virtual void removeAllTargetPiece() = 0;
  virtual size_t countTargetPiece() = 0;
  virtual size_t countMissingBlock() = 0;
  virtual void removeCompletedPiece() = 0;
  // The peer choked this side.
  virtual void doChokedAction() = 0;
  virtual std::vector<std::unique_ptr<BtMessage>> createRequestMessages(size_t max,
                                                                        bool endGame) = 0;
  virtual std::vector<size_t> getTargetPieceIndexes() const = 0;
};

}  // namespace quarn

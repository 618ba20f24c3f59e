#pragma once

#include <memory>

namespace quarn {

class Piece;

// Chooses the blocks to request from one peer; the messages tell it what
// the peer's answers change.
class BtRequestFactory {
 public:
  virtual ~BtRequestFactory() = default;
  // The peer choked this side.
  virtual void doChokedAction() = 0;
  // The piece failed its hash check: abandon its requests.
  virtual void removeTargetPiece(const std::shared_ptr<Piece>& piece) = 0;
};

}  // namespace quarn

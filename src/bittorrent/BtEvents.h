#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn {

class Piece;

// What the dispatcher tells every queued message.
// This side has decided to choke the peer.
struct BtChokingEvent {};

// The peer cancelled its request of this block.
struct BtCancelSendingPieceEvent {
  size_t index;
  int32_t begin;
  int32_t length;
};

// The requests for this piece are being abandoned.
struct BtAbortOutstandingRequestEvent {
  std::shared_ptr<Piece> piece;
};

}  // namespace quarn

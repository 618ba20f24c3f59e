#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/Timer.h"
#include "foundation/wallclock.h"

namespace quarn {

class Piece;

// One block requested from a peer and not yet answered.
class RequestSlot {
 public:
  RequestSlot(size_t index, int32_t begin, int32_t length, size_t blockIndex,
              std::shared_ptr<Piece> piece)
      : dispatchedTime_(global::wallclock()),
        index_(index),
        begin_(begin),
        length_(length),
        blockIndex_(blockIndex),
        piece_(std::move(piece)) {}

  bool isTimeout(std::chrono::seconds timeout) const {
    return dispatchedTime_.difference(global::wallclock()) >= timeout;
  }
  const Timer& getDispatchedTime() const { return dispatchedTime_; }
  size_t getIndex() const { return index_; }
  int32_t getBegin() const { return begin_; }
  int32_t getLength() const { return length_; }
  size_t getBlockIndex() const { return blockIndex_; }
  const std::shared_ptr<Piece>& getPiece() const { return piece_; }

 private:
  Timer dispatchedTime_;
  size_t index_;
  int32_t begin_;
  int32_t length_;
  size_t blockIndex_;
  std::shared_ptr<Piece> piece_;
};

}  // namespace quarn

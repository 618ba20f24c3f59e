#pragma once

#include "storage/Segment.h"

namespace quarn {

// A segment over a piece of known length; written bytes complete its blocks.
class PiecedSegment : public Segment {
 public:
  PiecedSegment(int32_t pieceLength, std::shared_ptr<Piece> piece);

  bool complete() const override;
  size_t getIndex() const override;
  int64_t getPosition() const override;
  int64_t getPositionToWrite() const override { return getPosition() + writtenLength_; }
  int64_t getLength() const override;
  int64_t getSegmentLength() const override { return pieceLength_; }
  int64_t getWrittenLength() const override { return writtenLength_; }
  void updateWrittenLength(int64_t bytes) override;
  bool updateHash(int64_t begin, const uint8_t* data, size_t dataLength) override;
  bool isHashCalculated() const override;
  std::string getDigest() override;
  void clear(WrDiskCache* diskCache) override;
  std::shared_ptr<Piece> getPiece() const override { return piece_; }

 private:
  std::shared_ptr<Piece> piece_;
  int32_t pieceLength_;
  int64_t writtenLength_;
};

}  // namespace quarn

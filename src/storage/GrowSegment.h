#pragma once

#include "storage/Segment.h"

namespace quarn {

// A segment of a download of unknown length; its piece grows with each write.
class GrowSegment : public Segment {
 public:
  explicit GrowSegment(std::shared_ptr<Piece> piece);

  bool complete() const override { return false; }
  size_t getIndex() const override { return 0; }
  int64_t getPosition() const override { return 0; }
  int64_t getPositionToWrite() const override { return writtenLength_; }
  int64_t getLength() const override { return 0; }
  int64_t getSegmentLength() const override { return 0; }
  int64_t getWrittenLength() const override { return writtenLength_; }
  void updateWrittenLength(int64_t bytes) override;
  bool updateHash(int64_t, const uint8_t*, size_t) override { return false; }
  bool isHashCalculated() const override { return false; }
  std::string getDigest() override { return std::string(); }
  void clear(WrDiskCache* diskCache) override;
  std::shared_ptr<Piece> getPiece() const override { return piece_; }

 private:
  std::shared_ptr<Piece> piece_;
  int64_t writtenLength_;
};

}  // namespace quarn

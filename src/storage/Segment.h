#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class Piece;
class WrDiskCache;

// The byte range one client connection downloads into: always one piece.
class Segment {
 public:
  virtual ~Segment() = default;
  virtual bool complete() const = 0;
  virtual size_t getIndex() const = 0;
  virtual int64_t getPosition() const = 0;
  virtual int64_t getPositionToWrite() const = 0;
  virtual int64_t getLength() const = 0;
  virtual int64_t getSegmentLength() const = 0;
  virtual int64_t getWrittenLength() const = 0;
  virtual void updateWrittenLength(int64_t bytes) = 0;
  virtual bool updateHash(int64_t begin, const uint8_t* data, size_t dataLength) = 0;
  virtual bool isHashCalculated() const = 0;
  virtual std::string getDigest() = 0;
  virtual void clear(WrDiskCache* diskCache) = 0;
  virtual std::shared_ptr<Piece> getPiece() const = 0;
};

}  // namespace quarn

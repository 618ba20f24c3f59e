#pragma once

#include <cstdint>

namespace quarn {

// The byte range a response body covers within the whole entity. All fields
// are 0 when the range is unknown; endByte is inclusive.
class Range {
 public:
  Range() = default;
  Range(int64_t startByte, int64_t endByte, int64_t entityLength)
      : startByte_(startByte), endByte_(endByte), entityLength_(entityLength) {}

  bool operator==(const Range& other) const = default;

  int64_t getStartByte() const { return startByte_; }
  int64_t getEndByte() const { return endByte_; }
  int64_t getEntityLength() const { return entityLength_; }

  int64_t getContentLength() const { return endByte_ < startByte_ ? 0 : endByte_ - startByte_ + 1; }

 private:
  int64_t startByte_ = 0;
  int64_t endByte_ = 0;
  int64_t entityLength_ = 0;
};

}  // namespace quarn

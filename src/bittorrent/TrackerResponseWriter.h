#pragma once

#include "storage/ByteArrayDiskWriter.h"

namespace quarn {

// Keeps a tracker's answer in memory, refusing it as soon as it grows past
// what any real tracker sends, so that a hostile one cannot make us buffer
// an endless body.
class TrackerResponseWriter : public ByteArrayDiskWriter {
 public:
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
};

}  // namespace quarn

#pragma once

#include "storage/StreamFilter.h"

namespace quarn {

class WrDiskCache;

// Ends a download chain: writes the bytes at the segment's write position,
// into the piece's write-cache entry when it has one, else to the stream.
class SinkStreamFilter : public StreamFilter {
 public:
  static const std::string NAME;

  SinkStreamFilter(WrDiskCache* wrDiskCache = nullptr, bool hashUpdate = false);

  void init() override {}
  ssize_t transform(const std::shared_ptr<BinaryStream>& out,
                    const std::shared_ptr<Segment>& segment, const uint8_t* inbuf,
                    size_t inlen) override;
  bool finished() override { return true; }
  void release() override {}
  const std::string& getName() const override { return NAME; }
  size_t getBytesProcessed() const override { return bytesProcessed_; }
  bool installDelegate(std::unique_ptr<StreamFilter> /*filter*/) override { return false; }

 private:
  static constexpr size_t MIN_CELL_CAPACITY = 4096;

  WrDiskCache* wrDiskCache_;
  bool hashUpdate_;
  uint64_t bytesProcessed_;
};

}  // namespace quarn

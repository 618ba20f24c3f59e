#pragma once

#include <span>

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

  // Reading a body straight into the write cache saves copying every byte
  // once more through a receive buffer. The memory to fill with at most
  // maxLen of the segment's next bytes, empty when the segment's piece has no
  // cache entry; commitReceived() then takes the bytes actually read.
  std::span<uint8_t> receiveWindow(const std::shared_ptr<Segment>& segment, size_t maxLen);
  void commitReceived(const std::shared_ptr<Segment>& segment, size_t len);

 private:
  static constexpr size_t MIN_CELL_CAPACITY = 4096;
  // A new cell for received data holds several reads, so a piece is written
  // from a few large runs.
  static constexpr size_t RECEIVE_CELL_CAPACITY = 512 * 1024;

  WrDiskCache* wrDiskCache_;
  bool hashUpdate_;
  uint64_t bytesProcessed_;
  // The cell being received into when it is not yet in the cache entry: it
  // joins the entry once it holds data.
  std::unique_ptr<uint8_t[]> freshCell_;
  size_t freshCapacity_ = 0;
  bool windowInFreshCell_ = false;
};

}  // namespace quarn

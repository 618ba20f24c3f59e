#include "storage/SinkStreamFilter.h"

#include <algorithm>
#include <cstring>

#include "foundation/BinaryStream.h"
#include "storage/Piece.h"
#include "storage/Segment.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

const std::string SinkStreamFilter::NAME("SinkStreamFilter");

SinkStreamFilter::SinkStreamFilter(WrDiskCache* wrDiskCache, bool hashUpdate)
    : wrDiskCache_(wrDiskCache), hashUpdate_(hashUpdate), bytesProcessed_(0) {}

ssize_t SinkStreamFilter::transform(const std::shared_ptr<BinaryStream>& out,
                                    const std::shared_ptr<Segment>& segment, const uint8_t* inbuf,
                                    size_t inlen) {
  bytesProcessed_ = 0;
  if (inlen == 0) {
    return 0;
  }
  size_t wlen = inlen;
  if (segment->getLength() > 0) {
    wlen = std::min<int64_t>(inlen, segment->getLength() - segment->getWrittenLength());
  }
  const auto& piece = segment->getPiece();
  int64_t goff = segment->getPositionToWrite();
  if (wrDiskCache_ && piece && piece->getWrDiskCacheEntry()) {
    size_t appended = piece->appendWrCache(wrDiskCache_, goff, inbuf, wlen);
    if (appended < wlen) {
      size_t rest = wlen - appended;
      size_t capacity = std::max(MIN_CELL_CAPACITY, rest);
      auto dataCopy = std::make_unique_for_overwrite<uint8_t[]>(capacity);
      std::memcpy(dataCopy.get(), inbuf + appended, rest);
      piece->updateWrCache(wrDiskCache_, std::move(dataCopy), 0, rest, capacity, goff + appended);
    }
    // Adding data may have forced a write of this very piece; if that write
    // failed, its data is gone and must not be counted.
    piece->throwIfWrCacheFailed(wrDiskCache_);
  } else {
    out->writeData(inbuf, wlen, goff);
  }
  if (hashUpdate_) {
    segment->updateHash(segment->getWrittenLength(), inbuf, wlen);
  }
  segment->updateWrittenLength(wlen);
  bytesProcessed_ = wlen;
  return wlen;
}

std::span<uint8_t> SinkStreamFilter::receiveWindow(const std::shared_ptr<Segment>& segment,
                                                   size_t maxLen) {
  const auto& piece = segment->getPiece();
  if (!wrDiskCache_ || !piece || !piece->getWrDiskCacheEntry() || maxLen == 0) {
    return {};
  }
  auto spare = piece->getWrDiskCacheEntry()->spareAt(segment->getPositionToWrite());
  if (!spare.empty()) {
    windowInFreshCell_ = false;
    return spare.first(std::min(spare.size(), maxLen));
  }
  if (!freshCell_ || freshCapacity_ < maxLen) {
    freshCapacity_ = std::max(RECEIVE_CELL_CAPACITY, maxLen);
    freshCell_ = std::make_unique_for_overwrite<uint8_t[]>(freshCapacity_);
  }
  windowInFreshCell_ = true;
  return {freshCell_.get(), maxLen};
}

void SinkStreamFilter::commitReceived(const std::shared_ptr<Segment>& segment, size_t len) {
  bytesProcessed_ = 0;
  if (len == 0) {
    return;
  }
  const auto& piece = segment->getPiece();
  int64_t goff = segment->getPositionToWrite();
  // The hash reads the bytes first: counting them in the cache may force a
  // write of this very entry, which frees its cells.
  if (hashUpdate_) {
    const uint8_t* data =
        windowInFreshCell_ ? freshCell_.get() : piece->getWrDiskCacheEntry()->spareAt(goff).data();
    segment->updateHash(segment->getWrittenLength(), data, len);
  }
  if (windowInFreshCell_) {
    piece->updateWrCache(wrDiskCache_, std::move(freshCell_), 0, len, freshCapacity_, goff);
    freshCapacity_ = 0;
  } else {
    piece->growWrCache(wrDiskCache_, len);
  }
  // As for copied data: a failed forced write loses the bytes, so they are
  // not counted.
  piece->throwIfWrCacheFailed(wrDiskCache_);
  segment->updateWrittenLength(len);
  bytesProcessed_ = len;
}

}  // namespace quarn

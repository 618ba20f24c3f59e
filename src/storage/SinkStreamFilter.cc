#include "storage/SinkStreamFilter.h"

#include <algorithm>
#include <cstring>

#include "foundation/BinaryStream.h"
#include "storage/Piece.h"
#include "storage/Segment.h"

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

}  // namespace quarn

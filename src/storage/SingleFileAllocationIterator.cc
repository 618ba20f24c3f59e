#include "storage/SingleFileAllocationIterator.h"

#include <cstring>

#include "foundation/BinaryStream.h"
#include "foundation/Logger.h"
#include "foundation/i18n.h"
#include "foundation/util_process.h"

namespace quarn {

namespace {

void noticeAllocationOnce() {
  static bool noticed = false;
  if (!noticed) {
    noticed = true;
    QLOG_NOTICE(
        _("Allocating disk space. Use --file-allocation=none to disable it. See "
          "--file-allocation option in man page for more details."));
  }
}

}  // namespace

SingleFileAllocationIterator::SingleFileAllocationIterator(BinaryStream* stream, int64_t offset,
                                                           int64_t totalLength)
    : stream_(stream), offset_(offset), totalLength_(totalLength) {}

void SingleFileAllocationIterator::init() {
  noticeAllocationOnce();
  buffer_.reset(static_cast<unsigned char*>(util::allocateAlignedMemory(ALIGNMENT, BUFSIZE)));
  std::memset(buffer_.get(), 0, BUFSIZE);
}

void SingleFileAllocationIterator::allocateChunk() {
  stream_->writeData(buffer_.get(), BUFSIZE, offset_);
  offset_ += BUFSIZE;
  if (offset_ > totalLength_) {
    stream_->truncate(totalLength_);
    offset_ = totalLength_;
  }
}

}  // namespace quarn

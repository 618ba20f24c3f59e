#include "bittorrent/TrackerResponseWriter.h"

#include "bittorrent/BtAnnounce.h"
#include "foundation/DlAbortEx.h"

namespace quarn {

void TrackerResponseWriter::writeData(const uint8_t* data, size_t len, int64_t offset) {
  if (offset < 0 || static_cast<uint64_t>(offset) + len > BtAnnounce::MAX_RESPONSE_LENGTH) {
    throw DL_ABORT_EX("Tracker response too large.");
  }
  ByteArrayDiskWriter::writeData(data, len, offset);
}

}  // namespace quarn

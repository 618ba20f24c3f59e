#include "client/common/length_limit.h"

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

void checkAnnouncedLength(int64_t length, int32_t pieceLength) {
  if (length <= 0 || pieceLength <= 0) {
    return;
  }
  // Division first: length + pieceLength - 1 could overflow near 2^63.
  int64_t pieces = length / pieceLength + (length % pieceLength != 0 ? 1 : 0);
  if (pieces > MAX_PIECES_PER_DOWNLOAD) {
    throw DL_ABORT_EX(
        fmt("The announced file size %lld is too large: at most %lld bytes are "
            "supported with a piece length of %d.",
            static_cast<long long>(length),
            static_cast<long long>(MAX_PIECES_PER_DOWNLOAD * pieceLength), pieceLength));
  }
}

}  // namespace quarn

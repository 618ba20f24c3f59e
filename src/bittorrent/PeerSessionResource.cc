#include "bittorrent/PeerSessionResource.h"

#include "foundation/wallclock.h"

namespace quarn {

PeerSessionResource::PeerSessionResource(int32_t pieceLength, int64_t totalLength)
    : bitfield_(pieceLength, totalLength) {
  netStat_.downloadStart();
}

void PeerSessionResource::amChoking(bool b) {
  amChoking_ = b;
  if (!b) {
    lastAmUnchoking_ = global::wallclock();
  }
}

void PeerSessionResource::snubbing(bool b) {
  snubbing_ = b;
  if (b) {
    chokingRequired_ = true;
    optUnchoking_ = false;
  }
}

void PeerSessionResource::reconfigure(int32_t pieceLength, int64_t totalLength) {
  bitfield_ = BitfieldMan(pieceLength, totalLength);
}

void PeerSessionResource::updateDownload(size_t bytes) {
  netStat_.updateDownload(bytes);
  lastDownloadUpdate_ = global::wallclock();
}

}  // namespace quarn

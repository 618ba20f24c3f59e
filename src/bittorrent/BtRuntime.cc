#include "bittorrent/BtRuntime.h"

namespace quarn {

void BtRuntime::setMaxPeers(int32_t maxPeers) {
  maxPeers_ = maxPeers;
  minPeers_ = static_cast<int32_t>(maxPeers * 0.8);
  if (minPeers_ == 0 && maxPeers != 0) {
    minPeers_ = maxPeers;
  }
}

}  // namespace quarn

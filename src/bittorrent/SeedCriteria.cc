#include "bittorrent/SeedCriteria.h"

#include "bittorrent/BtRuntime.h"
#include "foundation/wallclock.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

TimeSeedCriteria::TimeSeedCriteria(std::chrono::seconds duration)
    : duration_(duration), timer_(global::wallclock()) {}

bool TimeSeedCriteria::evaluate() {
  return timer_.difference(global::wallclock()) >= duration_;
}

void TimeSeedCriteria::reset() {
  timer_ = global::wallclock();
}

ShareRatioSeedCriteria::ShareRatioSeedCriteria(double ratio,
                                               std::shared_ptr<DownloadContext> downloadContext)
    : ratio_(ratio), downloadContext_(std::move(downloadContext)) {}

bool ShareRatioSeedCriteria::evaluate() {
  const int64_t completed = pieceStorage_->getCompletedLength();
  if (completed == 0) {
    return true;
  }
  const int64_t uploaded = btRuntime_->getUploadLengthAtStartup() +
                           downloadContext_->getNetStat().getSessionUploadLength();
  return ratio_ <= static_cast<double>(uploaded) / static_cast<double>(completed);
}

bool UnionSeedCriteria::evaluate() {
  for (const auto& c : criterion_) {
    if (c->evaluate()) {
      return true;
    }
  }
  return false;
}

void UnionSeedCriteria::reset() {
  for (const auto& c : criterion_) {
    c->reset();
  }
}

}  // namespace quarn

#include "storage/DiskAdaptor.h"

#include <vector>

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

void DiskAdaptor::forEachCacheRun(
    const WrDiskCacheEntry* entry,
    const std::function<void(const struct iovec*, int, int64_t, int64_t)>& fn) {
  std::vector<struct iovec> run;
  int64_t runStart = 0;
  int64_t runEnd = 0;
  for (const auto* cell : entry->getDataSet()) {
    QLOG_DEBUG(fmt("Cache flush goff=%lld, len=%lu", static_cast<long long>(cell->goff),
                   static_cast<unsigned long>(cell->len)));
    if (!run.empty() && cell->goff != runEnd) {
      fn(run.data(), static_cast<int>(run.size()), runStart, runEnd - runStart);
      run.clear();
    }
    if (run.empty()) {
      runStart = cell->goff;
      runEnd = cell->goff;
    }
    run.push_back({cell->data.get() + cell->offset, cell->len});
    runEnd += cell->len;
  }
  if (!run.empty()) {
    fn(run.data(), static_cast<int>(run.size()), runStart, runEnd - runStart);
  }
}

}  // namespace quarn

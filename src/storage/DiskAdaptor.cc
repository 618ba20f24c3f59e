#include "storage/DiskAdaptor.h"

#include <vector>

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "storage/DiskWriter.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

void DiskAdaptor::forEachCacheRun(
    const WrDiskCacheEntry* entry, const AsyncWrite* async,
    const std::function<void(const struct iovec*, int, int64_t, const AsyncWrite*)>& fn) {
  auto emit = [&](const std::vector<struct iovec>& run, int64_t start, int64_t end) {
    if (!async) {
      fn(run.data(), static_cast<int>(run.size()), start, nullptr);
      return;
    }
    AsyncWrite ranged = *async;
    ranged.goff = start;
    ranged.len = end - start;
    fn(run.data(), static_cast<int>(run.size()), start, &ranged);
  };
  std::vector<struct iovec> run;
  int64_t runStart = 0;
  int64_t runEnd = 0;
  for (const auto* cell : entry->getDataSet()) {
    QLOG_DEBUG(fmt("Cache flush goff=%lld, len=%lu", static_cast<long long>(cell->goff),
                   static_cast<unsigned long>(cell->len)));
    if (!run.empty() && cell->goff != runEnd) {
      emit(run, runStart, runEnd);
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
    emit(run, runStart, runEnd);
  }
}

}  // namespace quarn

#include "storage/WrDiskCache.h"

#include <algorithm>

#include "foundation/Logger.h"
#include "foundation/fmt.h"
#include "storage/WrDiskCacheEntry.h"

namespace quarn {

bool WrDiskCache::EntryLess::operator()(const WrDiskCacheEntry* a,
                                        const WrDiskCacheEntry* b) const {
  return *a < *b;
}

WrDiskCache::WrDiskCache(size_t limit) : limit_(limit), total_(0), clock_(0) {}

WrDiskCache::~WrDiskCache() {
  if (total_ != 0) {
    QLOG_WARN(fmt("Write disk cache is not empty size=%lu", static_cast<unsigned long>(total_)));
  }
}

bool WrDiskCache::add(WrDiskCacheEntry* entry) {
  entry->setSizeKey(entry->getSize());
  entry->setLastUpdate(++clock_);
  auto rv = set_.insert(entry);
  if (!rv.second) {
    const WrDiskCacheEntry* present = *rv.first;
    QLOG_WARN(fmt("Found duplicate cache entry a.{size=%lu,clock=%lld} b{size=%lu,clock=%lld}",
                  static_cast<unsigned long>(present->getSize()),
                  static_cast<long long>(present->getLastUpdate()),
                  static_cast<unsigned long>(entry->getSize()),
                  static_cast<long long>(entry->getLastUpdate())));
    return false;
  }
  total_ += entry->getSize();
  ensureLimit();
  return true;
}

bool WrDiskCache::remove(WrDiskCacheEntry* entry) {
  if (set_.erase(entry) == 0) {
    return false;
  }
  QLOG_DEBUG(fmt("Removed cache entry size=%lu, clock=%lld",
                 static_cast<unsigned long>(entry->getSize()),
                 static_cast<long long>(entry->getLastUpdate())));
  total_ -= std::min(total_, entry->getSize());
  return true;
}

bool WrDiskCache::update(WrDiskCacheEntry* entry, int64_t delta) {
  if (set_.erase(entry) == 0) {
    return false;
  }
  QLOG_DEBUG(fmt("Update cache entry size=%lu, delta=%ld, clock=%lld",
                 static_cast<unsigned long>(entry->getSize()), static_cast<long>(delta),
                 static_cast<long long>(entry->getLastUpdate())));
  entry->setSizeKey(entry->getSize());
  entry->setLastUpdate(++clock_);
  set_.insert(entry);
  if (delta < 0 && static_cast<size_t>(-delta) > total_) {
    total_ = 0;
  } else {
    total_ += delta;
  }
  ensureLimit();
  return true;
}

void WrDiskCache::ensureLimit() {
  while (total_ > limit_ && !set_.empty()) {
    auto it = set_.begin();
    WrDiskCacheEntry* entry = *it;
    if (entry->getSize() == 0) {
      break;  // the biggest entry is empty: nothing left to write out
    }
    QLOG_DEBUG(fmt("Force flush cache entry size=%lu, clock=%lld",
                   static_cast<unsigned long>(entry->getSizeKey()),
                   static_cast<long long>(entry->getLastUpdate())));
    total_ -= std::min(total_, entry->getSize());
    set_.erase(it);
    entry->writeToDisk();
    entry->setSizeKey(entry->getSize());
    entry->setLastUpdate(++clock_);
    set_.insert(entry);
  }
}

}  // namespace quarn

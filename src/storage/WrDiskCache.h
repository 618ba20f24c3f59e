#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

namespace quarn {

class WrDiskCacheEntry;

// The process-wide write cache: it owns no entry, only keeps them ordered so
// that the biggest (then the least recently changed) is written out first when
// the total passes the limit.
class WrDiskCache {
 public:
  explicit WrDiskCache(size_t limit);
  ~WrDiskCache();
  WrDiskCache(const WrDiskCache&) = delete;
  WrDiskCache& operator=(const WrDiskCache&) = delete;

  bool add(WrDiskCacheEntry* entry);
  bool remove(WrDiskCacheEntry* entry);
  // Called after the entry's size changed by delta.
  bool update(WrDiskCacheEntry* entry, int64_t delta);

  size_t getSize() const { return total_; }
  size_t getLimit() const { return limit_; }

 private:
  struct EntryLess {
    bool operator()(const WrDiskCacheEntry* a, const WrDiskCacheEntry* b) const;
  };

  void ensureLimit();

  size_t limit_;
  size_t total_;
  std::set<WrDiskCacheEntry*, EntryLess> set_;
  int64_t clock_;
};

}  // namespace quarn

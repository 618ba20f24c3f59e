#include "bittorrent/UTMetadataRequestTracker.h"

#include <algorithm>
#include <chrono>

#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/wallclock.h"

namespace quarn {

namespace {
constexpr auto REQUEST_TIMEOUT = std::chrono::seconds(20);
}  // namespace

void UTMetadataRequestTracker::add(size_t index) {
  entries_.push_back({index, global::wallclock()});
}

bool UTMetadataRequestTracker::tracks(size_t index) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [index](const Entry& e) { return e.index == index; });
}

void UTMetadataRequestTracker::remove(size_t index) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [index](const Entry& e) { return e.index == index; });
  if (it != entries_.end()) {
    entries_.erase(it);
  }
}

std::vector<size_t> UTMetadataRequestTracker::getAllTrackedIndex() const {
  std::vector<size_t> indexes;
  for (const auto& e : entries_) {
    indexes.push_back(e.index);
  }
  return indexes;
}

std::vector<size_t> UTMetadataRequestTracker::removeTimeoutEntry() {
  std::vector<size_t> removed;
  std::erase_if(entries_, [&removed](const Entry& e) {
    if (e.dispatchedTime.difference(global::wallclock()) < REQUEST_TIMEOUT) {
      return false;
    }
    QLOG_DEBUG(fmt("ut_metadata request timeout. index=%lu", static_cast<unsigned long>(e.index)));
    removed.push_back(e.index);
    return true;
  });
  return removed;
}

}  // namespace quarn

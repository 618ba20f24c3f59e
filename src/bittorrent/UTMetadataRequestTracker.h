#pragma once

#include <cstddef>
#include <vector>

#include "foundation/Timer.h"

namespace quarn {

// The metadata pieces one connection asked for and when, so that unanswered
// requests can be given to another peer.
class UTMetadataRequestTracker {
 public:
  void add(size_t index);
  bool tracks(size_t index) const;
  // Removes the first entry with this index.
  void remove(size_t index);
  // True when no request is outstanding.
  bool avail() const { return entries_.empty(); }
  std::vector<size_t> getAllTrackedIndex() const;
  // Drops the requests that waited 20 s or more; returns their indexes.
  std::vector<size_t> removeTimeoutEntry();

 private:
  struct Entry {
    size_t index;
    Timer dispatchedTime;
  };
  std::vector<Entry> entries_;
};

}  // namespace quarn

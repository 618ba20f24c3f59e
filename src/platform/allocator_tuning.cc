#include "platform/allocator_tuning.h"

#include <malloc.h>

namespace quarn {
namespace platform {

namespace {

// Cells and receive windows stay well below this, so they come from the heap.
constexpr int MMAP_THRESHOLD = 4 * 1024 * 1024;
// Free memory above the top of the heap beyond this is still given back, so
// an idle long-running process does not hold a whole disk cache.
constexpr int TRIM_THRESHOLD = 32 * 1024 * 1024;

}  // namespace

void tuneAllocatorForStreaming() {
  // Setting either value also stops the allocator from adjusting them itself.
  mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD);
  mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD);
}

}  // namespace platform
}  // namespace quarn

#pragma once

namespace quarn {
namespace platform {

// Keeps freed heap memory for reuse instead of returning it to the system at
// once. Downloads allocate and free write-cache cells of up to a receive
// window each, a piece at a time; with the allocator's adaptive defaults every
// piece would give its pages back and fault fresh zeroed ones in again.
void tuneAllocatorForStreaming();

}  // namespace platform
}  // namespace quarn

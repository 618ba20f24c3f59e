#include "net/SSHSessionMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace quarn {

TEST(SSHSessionMemoryTest, BlocksAreTrackedThroughAllocReallocAndFree) {
  SSHSessionMemory memory;
  void* abstract = &memory;
  auto* a = static_cast<char*>(SSHSessionMemory::alloc(10, &abstract));
  auto* b = static_cast<char*>(SSHSessionMemory::alloc(3, &abstract));
  void* c = SSHSessionMemory::realloc(nullptr, 5, &abstract);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(a) % alignof(std::max_align_t));
  EXPECT_EQ(3u, memory.blockCount());
  memcpy(a, "0123456789", 10);
  // Growing far enough to move keeps the content and the count.
  a = static_cast<char*>(SSHSessionMemory::realloc(a, 1 << 20, &abstract));
  ASSERT_TRUE(a);
  EXPECT_EQ(0, memcmp(a, "0123456789", 10));
  EXPECT_EQ(3u, memory.blockCount());
  SSHSessionMemory::free(b, &abstract);
  SSHSessionMemory::free(nullptr, &abstract);
  EXPECT_EQ(2u, memory.blockCount());
  // What is left goes with releaseAll (the leak checker watches).
  memory.releaseAll();
  EXPECT_EQ(0u, memory.blockCount());
  void* d = SSHSessionMemory::alloc(7, &abstract);
  EXPECT_EQ(1u, memory.blockCount());
  SSHSessionMemory::free(d, &abstract);
  EXPECT_EQ(0u, memory.blockCount());
}

}  // namespace quarn

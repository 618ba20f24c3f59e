#include "platform/process_alive.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include <gtest/gtest.h>

namespace quarn {
namespace {

TEST(ProcessAliveTest, OwnAndInitProcessesAreAlive) {
  EXPECT_TRUE(platform::processAlive(getpid()));
  EXPECT_TRUE(platform::processAlive(1));  // EPERM counts as alive
}

TEST(ProcessAliveTest, ReapedChildIsGone) {
  pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    _exit(0);
  }
  ASSERT_EQ(child, waitpid(child, nullptr, 0));
  EXPECT_FALSE(platform::processAlive(child));
}

// 0 would address our own process group, negative values other groups and
// values past pid_t a truncated id: none of them is a process.
TEST(ProcessAliveTest, IdsNoProcessCanHaveAreNeverAlive) {
  const int64_t ids[] = {0, -1, -static_cast<int64_t>(getpid()), (int64_t{1} << 32) + 1,
                         (int64_t{1} << 32) + getpid()};
  for (int64_t id : ids) {
    EXPECT_FALSE(platform::processAlive(id)) << id;
  }
}

}  // namespace
}  // namespace quarn

#include "engine/DiskSyncPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace quarn {

TEST(DiskSyncPoolTest, EveryJobRunsOnceAndItsKeyComesBackOnce) {
  DiskSyncPool pool(3);
  std::atomic<int> runs{0};
  for (uint64_t key = 1; key <= 20; ++key) {
    pool.submit(key, [&runs] { ++runs; });
  }
  pool.waitAll();
  EXPECT_EQ(20, runs.load());
  EXPECT_EQ(20u, pool.outstanding());
  std::vector<uint64_t> keys = pool.takeFinished();
  std::sort(keys.begin(), keys.end());
  std::vector<uint64_t> expected;
  for (uint64_t key = 1; key <= 20; ++key) {
    expected.push_back(key);
  }
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(0u, pool.outstanding());
  EXPECT_TRUE(pool.takeFinished().empty());
}

TEST(DiskSyncPoolTest, UnfinishedJobStaysOutstandingAndWaitAllWaitsForIt) {
  DiskSyncPool pool(2);
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  pool.submit(7, [&] {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return release; });
  });
  pool.submit(8, [] {});
  // Key 7 cannot have finished: its job is still held.
  for (int i = 0; i < 100; ++i) {
    for (uint64_t key : pool.takeFinished()) {
      EXPECT_EQ(8u, key);
    }
  }
  EXPECT_GE(pool.outstanding(), 1u);
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  pool.waitAll();
  std::vector<uint64_t> rest = pool.takeFinished();
  EXPECT_NE(rest.end(), std::find(rest.begin(), rest.end(), 7u));
  EXPECT_EQ(0u, pool.outstanding());
}

TEST(DiskSyncPoolTest, DestructionRunsWhatIsQueued) {
  std::atomic<int> runs{0};
  {
    DiskSyncPool pool(1);
    for (uint64_t key = 0; key < 50; ++key) {
      pool.submit(key, [&runs] { ++runs; });
    }
  }
  EXPECT_EQ(50, runs.load());
}

}  // namespace quarn

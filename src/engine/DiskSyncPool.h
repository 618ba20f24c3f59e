#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quarn {

// A few threads that push finished downloads' data to the device. A sync can
// take tens of milliseconds on a busy disk; on the loop thread it would stall
// every connection of every other download. Jobs are keyed by their
// download; the loop polls for the keys whose job has run and goes on with
// that download's stop from there, so what follows a sync still follows it.
class DiskSyncPool {
 public:
  explicit DiskSyncPool(size_t numThreads);
  // Runs what is still queued, then joins the threads.
  ~DiskSyncPool();
  DiskSyncPool(const DiskSyncPool&) = delete;
  DiskSyncPool& operator=(const DiskSyncPool&) = delete;

  // Threads start with the first job: a run that never syncs has none.
  void submit(uint64_t key, std::function<void()> job);
  // The keys of the jobs that have run since the last call, in no set order.
  std::vector<uint64_t> takeFinished();
  // Blocks until every submitted job has run; their keys stay for takeFinished.
  void waitAll();
  // Submitted jobs whose keys have not been taken yet.
  size_t outstanding() const;

 private:
  void work();

  struct Job {
    uint64_t key;
    std::function<void()> run;
  };

  const size_t numThreads_;
  mutable std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  std::deque<Job> queue_;
  std::vector<uint64_t> finished_;
  size_t running_ = 0;
  size_t outstanding_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quarn

#pragma once

#include <sys/uio.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quarn {

class PendingWrites;

// A few threads that write the write cache's data into files, so that the
// loop thread goes on receiving while the page cache or the device takes it.
// The writes of one file run on one thread in the order they were handed
// over, so a range written twice ends with its later data. What the jobs
// hold back is capped: handing over more blocks the caller until a worker
// has caught up, which bounds memory when the disk is slower than the
// network.
class DiskWriteQueue {
 public:
  struct Job {
    int fd;
    std::vector<struct iovec> iov;
    int64_t offset;
    // Keeps the buffers iov points into alive until the write has run.
    std::shared_ptr<const void> keep;
    std::shared_ptr<PendingWrites> file;
    std::shared_ptr<PendingWrites> download;
    // The range in the download, to charge a failure to.
    int64_t goff;
    int64_t len;
  };

  DiskWriteQueue(size_t numThreads, size_t maxPendingBytes);
  // Runs every job still queued, then joins the threads.
  ~DiskWriteQueue();
  DiskWriteQueue(const DiskWriteQueue&) = delete;
  DiskWriteQueue& operator=(const DiskWriteQueue&) = delete;

  // Counts the job into its tallies and queues it; the descriptor must stay
  // open until the file's tally is idle. Called from one thread only.
  void submit(Job job);

 private:
  struct Lane {
    std::deque<Job> jobs;
    std::thread thread;
  };

  void work(Lane& lane);

  const size_t maxPendingBytes_;
  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable roomFreed_;
  std::vector<Lane> lanes_;
  size_t pendingBytes_ = 0;
  bool stopping_ = false;
};

}  // namespace quarn

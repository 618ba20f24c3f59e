#include "storage/DiskWriteQueue.h"

#include <cstddef>
#include <cstdint>

#include "platform/positional_write.h"
#include "storage/PendingWrites.h"

namespace quarn {

DiskWriteQueue::DiskWriteQueue(size_t numThreads, size_t maxPendingBytes)
    : maxPendingBytes_(maxPendingBytes), lanes_(numThreads == 0 ? 1 : numThreads) {}

DiskWriteQueue::~DiskWriteQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  for (auto& lane : lanes_) {
    if (lane.thread.joinable()) {
      lane.thread.join();
    }
  }
}

void DiskWriteQueue::submit(Job job) {
  size_t bytes = 0;
  for (const auto& v : job.iov) {
    bytes += v.iov_len;
  }
  job.file->add();
  if (job.download) {
    job.download->add();
  }
  // A file keeps to one lane, so its writes keep their order.
  // (Allocations are aligned, so the address's low bits say nothing.)
  const auto key = reinterpret_cast<uintptr_t>(job.file.get()) / alignof(std::max_align_t);
  Lane& lane = lanes_[key % lanes_.size()];
  // Threads start with the first write: a run that writes nothing has none.
  if (!lane.thread.joinable()) {
    lane.thread = std::thread([this, &lane] { work(lane); });
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // One job is always let through, however big: the cap bounds what waits,
    // it must not refuse a piece larger than itself.
    roomFreed_.wait(
        lock, [&] { return pendingBytes_ == 0 || pendingBytes_ + bytes <= maxPendingBytes_; });
    pendingBytes_ += bytes;
    lane.jobs.push_back(std::move(job));
  }
  jobReady_.notify_all();
}

void DiskWriteQueue::work(Lane& lane) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    jobReady_.wait(lock, [&] { return stopping_ || !lane.jobs.empty(); });
    if (lane.jobs.empty()) {
      return;  // stopping, and nothing left to write
    }
    Job job = std::move(lane.jobs.front());
    lane.jobs.pop_front();
    lock.unlock();
    size_t bytes = 0;
    for (const auto& v : job.iov) {
      bytes += v.iov_len;
    }
    // After a failure the file's later writes are not tried: what the caller
    // counted as written is already lost, and a full disk only fails again.
    int errNum = job.file->firstError();
    if (errNum == 0) {
      errNum = platform::writeFullyAt(job.fd, job.iov.data(), static_cast<int>(job.iov.size()),
                                      job.offset);
    }
    job.keep.reset();
    // The file first: whoever saw the download's writes done then finds a
    // failure on the file too.
    job.file->done(errNum, job.goff, job.len);
    if (job.download) {
      job.download->done(errNum, job.goff, job.len);
    }
    lock.lock();
    pendingBytes_ -= bytes;
    roomFreed_.notify_all();
  }
}

}  // namespace quarn

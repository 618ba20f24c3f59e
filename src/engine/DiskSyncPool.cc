#include "engine/DiskSyncPool.h"

#include <utility>

namespace quarn {

DiskSyncPool::DiskSyncPool(size_t numThreads) : numThreads_(numThreads == 0 ? 1 : numThreads) {}

DiskSyncPool::~DiskSyncPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  for (auto& t : threads_) {
    t.join();
  }
}

void DiskSyncPool::submit(uint64_t key, std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Job{key, std::move(job)});
    ++outstanding_;
    if (threads_.size() < numThreads_ && threads_.size() < queue_.size() + running_) {
      threads_.emplace_back([this] { work(); });
    }
  }
  jobReady_.notify_one();
}

std::vector<uint64_t> DiskSyncPool::takeFinished() {
  std::lock_guard<std::mutex> lock(mutex_);
  outstanding_ -= finished_.size();
  return std::exchange(finished_, {});
}

void DiskSyncPool::waitAll() {
  std::unique_lock<std::mutex> lock(mutex_);
  jobDone_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

size_t DiskSyncPool::outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outstanding_;
}

void DiskSyncPool::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    jobReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      return;  // stopping, and nothing left to run
    }
    Job job = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    job.run();
    lock.lock();
    --running_;
    finished_.push_back(job.key);
    jobDone_.notify_all();
  }
}

}  // namespace quarn

#include "storage/PendingWrites.h"

#include <utility>

namespace quarn {

void PendingWrites::add() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++pending_;
}

void PendingWrites::done(int errNum, int64_t goff, int64_t len) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (errNum != 0) {
    if (firstError_ == 0) {
      firstError_ = errNum;
    }
    failures_.push_back({errNum, goff, len});
  }
  if (--pending_ == 0) {
    allDone_.notify_all();
  }
}

void PendingWrites::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  allDone_.wait(lock, [this] { return pending_ == 0; });
}

bool PendingWrites::idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_ == 0;
}

int PendingWrites::firstError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return firstError_;
}

std::vector<PendingWrites::Failure> PendingWrites::takeFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(failures_, {});
}

}  // namespace quarn

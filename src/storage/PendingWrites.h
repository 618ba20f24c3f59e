#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quarn {

// Writes handed to a DiskWriteQueue and not yet done, and the ones that
// failed. The loop thread counts them in and waits on them; the worker that
// runs a write counts it out. One tally exists per file (so that nothing
// reads, syncs or closes a file under a write still in flight) and one per
// download (so that a failure is charged to the pieces it lost).
class PendingWrites {
 public:
  // The range of the download a failed write was to fill.
  struct Failure {
    int errNum;
    int64_t goff;
    int64_t len;
  };

  void add();
  void done(int errNum, int64_t goff, int64_t len);
  // Blocks until every write counted in has been counted out.
  void wait();
  bool idle() const;
  // The error number of the first write that failed; 0 while none has. It
  // stays: data the caller counted as written is not on the file.
  int firstError() const;
  // The failures not taken yet, oldest first.
  std::vector<Failure> takeFailures();

 private:
  mutable std::mutex mutex_;
  std::condition_variable allDone_;
  size_t pending_ = 0;
  int firstError_ = 0;
  std::vector<Failure> failures_;
};

}  // namespace quarn

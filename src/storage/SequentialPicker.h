#pragma once

#include <cstddef>
#include <deque>
#include <memory>

namespace quarn {

// A queue of owned entries worked on one at a time: at most one entry is
// picked, and it lives until it is dropped or the next one is picked.
template <typename T>
class SequentialPicker {
 public:
  bool isPicked() const { return static_cast<bool>(pickedEntry_); }
  T* getPickedEntry() const { return pickedEntry_.get(); }
  void dropPickedEntry() { pickedEntry_.reset(); }

  bool hasNext() const { return !entries_.empty(); }
  // Moves the front entry into the picked slot, destroying any entry picked
  // before; null when nothing waits.
  T* pickNext() {
    if (entries_.empty()) {
      return nullptr;
    }
    pickedEntry_ = std::move(entries_.front());
    entries_.pop_front();
    return pickedEntry_.get();
  }

  void pushEntry(std::unique_ptr<T> entry) { entries_.push_back(std::move(entry)); }
  size_t countEntryInQueue() const { return entries_.size(); }

  // Whether a waiting entry (not the picked one) satisfies pred.
  template <typename Predicate>
  bool isQueued(Predicate pred) const {
    for (const auto& entry : entries_) {
      if (pred(*entry)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::deque<std::unique_ptr<T>> entries_;
  std::unique_ptr<T> pickedEntry_;
};

}  // namespace quarn

#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace quarn {

// Sorted half-open ranges [start, end) walked value by value.
template <typename T>
class SegList {
 public:
  SegList() = default;

  void clear() {
    segs_.clear();
    index_ = 0;
    val_ = std::numeric_limits<T>::min();
  }

  // Appends [start, end) when start < end.
  void add(T start, T end) {
    if (start < end) {
      if (segs_.empty()) {
        val_ = std::max(val_, start);
      }
      segs_.emplace_back(start, end);
    }
  }

  // Sorts the ranges, merges overlapping and touching ones and rewinds.
  void normalize() {
    if (segs_.empty()) {
      return;
    }
    std::sort(segs_.begin(), segs_.end());
    std::vector<std::pair<T, T>> merged;
    merged.push_back(segs_.front());
    for (size_t i = 1; i < segs_.size(); ++i) {
      if (segs_[i].first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, segs_[i].second);
      } else {
        merged.push_back(segs_[i]);
      }
    }
    segs_.swap(merged);
    index_ = 0;
    val_ = segs_.front().first;
  }

  bool hasNext() const { return index_ < segs_.size(); }

  // The current value, then advances; 0 once the list is exhausted.
  T next() {
    if (!hasNext()) {
      return 0;
    }
    T res = val_;
    if (++val_ == segs_[index_].second) {
      if (++index_ < segs_.size()) {
        val_ = segs_[index_].first;
      }
    }
    return res;
  }

  const std::vector<std::pair<T, T>>& getSegments() const { return segs_; }

 private:
  std::vector<std::pair<T, T>> segs_;
  size_t index_ = 0;
  T val_ = std::numeric_limits<T>::min();
};

}  // namespace quarn

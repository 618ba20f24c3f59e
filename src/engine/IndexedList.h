#pragma once

#include <sys/types.h>
#include <algorithm>
#include <cstddef>
#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quarn {

enum OffsetMode : int { OFFSET_MODE_SET = 0, OFFSET_MODE_CUR = 1, OFFSET_MODE_END = 2 };

// A list of (key, value) pairs in list order with unique keys, looked up by key
// through a hash map.
template <typename KeyType, typename ValuePtrType>
class IndexedList {
 public:
  using SeqType = std::deque<std::pair<KeyType, ValuePtrType>>;
  using iterator = typename SeqType::iterator;
  using const_iterator = typename SeqType::const_iterator;

  bool push_back(KeyType key, ValuePtrType value) {
    if (index_.count(key)) {
      return false;
    }
    index_.emplace(key, value);
    seq_.emplace_back(key, std::move(value));
    return true;
  }

  bool push_front(KeyType key, ValuePtrType value) {
    if (index_.count(key)) {
      return false;
    }
    index_.emplace(key, value);
    seq_.emplace_front(key, std::move(value));
    return true;
  }

  // Inserts before index pos; the end position (no change) when pos is past
  // the end or the key is present.
  iterator insert(size_t pos, KeyType key, ValuePtrType value) {
    if (pos > seq_.size() || index_.count(key)) {
      return seq_.end();
    }
    index_.emplace(key, value);
    return seq_.emplace(seq_.begin() + pos, key, std::move(value));
  }

  // Inserts the values, keyed by keyOf(value), together before index
  // min(pos, size); values whose key is present (also earlier in the batch)
  // are skipped.
  template <typename InputIt, typename KeyFunc>
  void insert(size_t pos, KeyFunc keyOf, InputIt first, InputIt last) {
    std::vector<std::pair<KeyType, ValuePtrType>> batch;
    for (; first != last; ++first) {
      KeyType key = keyOf(*first);
      if (index_.count(key)) {
        continue;
      }
      index_.emplace(key, *first);
      batch.emplace_back(key, *first);
    }
    pos = std::min(pos, seq_.size());
    seq_.insert(seq_.begin() + pos, batch.begin(), batch.end());
  }

  bool remove(KeyType key) {
    auto i = index_.find(key);
    if (i == index_.end()) {
      return false;
    }
    auto it =
        std::find_if(seq_.begin(), seq_.end(),
                     [&](const std::pair<KeyType, ValuePtrType>& p) { return p.first == key; });
    seq_.erase(it);
    index_.erase(i);
    return true;
  }

  bool pop_front() {
    if (seq_.empty()) {
      return false;
    }
    index_.erase(seq_.front().first);
    seq_.pop_front();
    return true;
  }

  // Moves the element to the destination given by offset and mode, keeping
  // the others in order; the new index, or -1 for an absent key or an unknown
  // mode.
  ssize_t move(KeyType key, ssize_t offset, OffsetMode mode) {
    if (!index_.count(key)) {
      return -1;
    }
    auto it =
        std::find_if(seq_.begin(), seq_.end(),
                     [&](const std::pair<KeyType, ValuePtrType>& p) { return p.first == key; });
    const auto cur = static_cast<ssize_t>(it - seq_.begin());
    const auto last = static_cast<ssize_t>(seq_.size()) - 1;
    ssize_t dest;
    switch (mode) {
      case OFFSET_MODE_SET:
        dest = std::clamp<ssize_t>(offset, 0, last);
        break;
      case OFFSET_MODE_END:
        dest = std::clamp<ssize_t>(last + offset, 0, last);
        break;
      case OFFSET_MODE_CUR:
        dest = offset <= 0 ? std::max<ssize_t>(0, cur + offset) : std::min(last, cur + offset);
        break;
      default:
        return -1;
    }
    auto elem = std::move(*it);
    seq_.erase(it);
    seq_.insert(seq_.begin() + dest, std::move(elem));
    return dest;
  }

  // The value, or a default (null) value.
  ValuePtrType get(KeyType key) const {
    auto i = index_.find(key);
    return i == index_.end() ? ValuePtrType() : i->second;
  }

  void clear() {
    index_.clear();
    seq_.clear();
  }

  size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }

  iterator begin() { return seq_.begin(); }
  iterator end() { return seq_.end(); }
  const_iterator begin() const { return seq_.begin(); }
  const_iterator end() const { return seq_.end(); }
  const std::pair<KeyType, ValuePtrType>& operator[](size_t n) const { return seq_[n]; }

  // Removes the elements for which pred(value) holds, keeping the order of
  // the rest; returns how many were removed.
  template <typename Pred>
  size_t remove_if(Pred pred) {
    size_t removed = 0;
    SeqType kept;
    for (auto& p : seq_) {
      if (pred(p.second)) {
        index_.erase(p.first);
        ++removed;
      } else {
        kept.push_back(std::move(p));
      }
    }
    seq_.swap(kept);
    return removed;
  }

 private:
  SeqType seq_;
  std::unordered_map<KeyType, ValuePtrType> index_;
};

}  // namespace quarn

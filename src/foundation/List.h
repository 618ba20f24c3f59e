#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "foundation/ValueBase.h"

namespace quarn {

// A sequence of owned nodes.
class List : public ValueBase {
 public:
  using ValueType = std::deque<std::unique_ptr<ValueBase>>;

  static std::unique_ptr<List> g() { return std::make_unique<List>(); }

  void append(std::unique_ptr<ValueBase> value);
  void append(std::string string);
  List& operator<<(std::unique_ptr<ValueBase> value);

  // The index must be below size().
  ValueBase* get(size_t index) const { return list_[index].get(); }
  ValueBase* operator[](size_t index) const { return get(index); }
  void set(size_t index, std::unique_ptr<ValueBase> value);

  void pop_front() { list_.pop_front(); }
  void pop_back() { list_.pop_back(); }

  ValueType::iterator begin() { return list_.begin(); }
  ValueType::iterator end() { return list_.end(); }
  ValueType::const_iterator begin() const { return list_.begin(); }
  ValueType::const_iterator end() const { return list_.end(); }
  ValueType::const_iterator cbegin() const { return list_.cbegin(); }
  ValueType::const_iterator cend() const { return list_.cend(); }

  size_t size() const { return list_.size(); }
  bool empty() const { return list_.empty(); }

  void accept(ValueBaseVisitor& visitor) const override;

 private:
  ValueType list_;
};

}  // namespace quarn

#pragma once

#include <cstdint>
#include <memory>

#include "foundation/ValueBase.h"

namespace quarn {

class Integer : public ValueBase {
 public:
  using ValueType = int64_t;

  Integer() = default;
  explicit Integer(int64_t value) : value_(value) {}

  static std::unique_ptr<Integer> g(int64_t value) { return std::make_unique<Integer>(value); }

  int64_t i() const { return value_; }

  void accept(ValueBaseVisitor& visitor) const override;

 private:
  int64_t value_ = 0;
};

}  // namespace quarn

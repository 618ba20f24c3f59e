#pragma once

#include <memory>

#include "foundation/ValueBase.h"

namespace quarn {

class Bool : public ValueBase {
 public:
  explicit Bool(bool value) : value_(value) {}

  // Each call makes a new node; no instance is shared.
  static std::unique_ptr<Bool> gTrue() { return std::make_unique<Bool>(true); }
  static std::unique_ptr<Bool> gFalse() { return std::make_unique<Bool>(false); }

  bool val() const { return value_; }

  void accept(ValueBaseVisitor& visitor) const override;

 private:
  bool value_;
};

}  // namespace quarn
